// Top-level definitions across all scripts. Every script element runs in the page's one global scope, so a
// name declared twice is either a SyntaxError (let, const, class) or silently replaces the earlier one
// (function, var). A function may be replaced only by a reassignment that wraps it, listed as "wrap NAME".
#pragma once
#include "bundle_list.h"
#include "diagnostics.h"

void checkDefinitions(const BundleList& list, Diagnostics& diag);
