// What the document may contain: no loads from outside it, no inline handlers its policy would block, and
// script and style text that cannot end its element early.
#pragma once
#include <string>
#include <string_view>

#include "bundle_list.h"
#include "diagnostics.h"

// The page template: no <script> or <link> elements, no on...= handlers, no policy of its own, and src/href
// addresses only inside the document (data:, blob:, #, {{asset:...}}); <a href> links are for the user.
void checkPage(const Source& page, Diagnostics& diag);
// A style sheet: no </style, no @import, url(...) only for data:, #fragments and assets.
void checkStyle(const Source& sheet, Diagnostics& diag);
// A script: no literal http(s) address in src= or href= (outside <a> markup), url(...), <link>,
// <script src> or @import.
void checkScript(const Source& script, Diagnostics& diag);

// Script text safe inside a <script> element: every </script (any case) becomes <\/script and <!-- becomes
// <\!--, so that neither ends the element nor switches the HTML parser into its escaped script states.
std::string escapeScript(std::string_view text);
