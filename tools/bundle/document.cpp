// Assembles the document: assets substituted, scripts escaped and hashed, the policy written, markers filled.
#include "document.h"

#include <algorithm>
#include <map>

#include "checks.h"
#include "definitions.h"
#include "sha256.h"
#include "text.h"

namespace {

constexpr size_t npos = std::string::npos;

// Replaces each {{asset:NAME}} by the asset's data address and marks the asset used.
std::string substituteAssets(const std::string& text, const std::string& file, std::vector<Asset>& assets,
                             Diagnostics& diag) {
  static const std::string open = "{{asset:";
  std::string out;
  size_t done = 0;
  for (size_t at = text.find(open); at != npos; at = text.find(open, at + 1)) {
    size_t nameStart = at + open.size();
    size_t close = text.find("}}", nameStart);
    size_t lineEnd = text.find('\n', nameStart);
    if (close == npos || close > lineEnd) {
      diag.error(file, lineOf(text, at), "unclosed {{asset: placeholder");
      continue;
    }
    std::string name = text.substr(nameStart, close - nameStart);
    auto asset = std::find_if(assets.begin(), assets.end(), [&](const Asset& a) { return a.name == name; });
    if (asset == assets.end()) {
      diag.error(file, lineOf(text, at), "unknown asset " + name);
      continue;
    }
    if (out.empty()) out.reserve(text.size() + asset->address.size());
    out.append(text, done, at - done);
    out += asset->address;
    asset->used = true;
    done = close + 2;
  }
  if (done == 0) return text;
  out.append(text, done, npos);
  return out;
}

// The offset of marker in the page; an error unless it appears exactly once.
size_t findMarker(const Source& page, const char* marker, Diagnostics& diag) {
  size_t first = page.text.find(marker);
  if (first == npos) {
    diag.error(page.path, 0, std::string("missing marker ") + marker);
    return npos;
  }
  size_t second = page.text.find(marker, first + 1);
  if (second != npos) {
    diag.error(page.path, lineOf(page.text, second),
               std::string("marker ") + marker + " appears again (first at line " +
                   std::to_string(lineOf(page.text, first)) + ")");
    return npos;
  }
  return first;
}

// The markers in the page template: each once, the policy in <head> and before the scripts it governs.
bool checkMarkers(const Source& page, Diagnostics& diag) {
  size_t csp = findMarker(page, CSP_MARKER, diag);
  size_t styles = findMarker(page, STYLES_MARKER, diag);
  size_t scripts = findMarker(page, SCRIPTS_MARKER, diag);
  if (csp == npos || styles == npos || scripts == npos) return false;
  size_t headEnd = std::min(findNoCase(page.text, "</head"), findNoCase(page.text, "<body"));
  if (csp > headEnd || csp > scripts) {
    diag.error(page.path, lineOf(page.text, csp),
               std::string(CSP_MARKER) + " must be inside <head>, before the scripts (a policy anywhere else is ignored)");
    return false;
  }
  return true;
}

std::string policy(const std::vector<ScriptElement>& scripts) {
  std::string sources;
  for (const ScriptElement& s : scripts) {
    auto digest = sha256(s.text);
    sources += " 'sha256-" + base64(std::string_view(reinterpret_cast<const char*>(digest.data()), digest.size())) + "'";
  }
  if (sources.empty()) sources = " 'none'";
  return "default-src 'none'; script-src" + sources +
         "; style-src 'unsafe-inline'; img-src data: blob: http: https:; media-src data: blob:; font-src data:; "
         "connect-src 'none'; object-src 'none'; base-uri 'none'; form-action 'none'; frame-src 'none'";
}

// Scripts are hashed as UTF-8, so the browser must read the file as UTF-8 before it meets them: the
// declaration has to sit within the first 1024 bytes, where the encoding sniffer looks.
void checkCharset(const std::string& html, const Source& page, Diagnostics& diag) {
  size_t meta = findNoCase(html, "<meta charset");
  size_t value = meta == npos ? npos : skipBlanks(html, meta + 13);
  bool declared = value != npos && value < html.size() && html[value] == '=';
  if (declared) {
    value = skipBlanks(html, value + 1);
    if (value < html.size() && (html[value] == '"' || html[value] == '\'')) value++;
    declared = startsWithNoCase(html, value, "utf-8") && meta < 1024;
  }
  if (!declared) diag.error(page.path, 0, "the page needs <meta charset=\"utf-8\"> within its first 1024 bytes");
}

}  // namespace

void buildDocument(BundleList& list, Diagnostics& diag, Document& doc) {
  bool markersOk = checkMarkers(list.page, diag);
  checkPage(list.page, diag);
  for (const Source& sheet : list.styles) checkStyle(sheet, diag);
  for (const ScriptGroup& group : list.groups)
    for (const Source& script : group.files) checkScript(script, diag);
  checkDefinitions(list, diag);

  std::string page = substituteAssets(list.page.text, list.page.path, list.assets, diag);
  std::string styles;
  for (const Source& sheet : list.styles) {
    bool plainPath = sheet.path.find("*/") == npos;
    if (plainPath) styles += "/* file: " + sheet.path + " */\n";
    styles += substituteAssets(sheet.text, sheet.path, list.assets, diag);
    if (styles.back() != '\n') styles += '\n';
  }
  for (const ScriptGroup& group : list.groups) {
    std::string text = "\n";
    for (const Source& script : group.files) {
      text += "// file: " + script.path + "\n";
      text += substituteAssets(script.text, script.path, list.assets, diag);
      if (text.back() != '\n') text += '\n';
    }
    doc.scripts.push_back({group.name, escapeScript(text)});
  }
  for (const Asset& asset : list.assets)
    if (!asset.used) diag.error(list.path, asset.listLine, "asset " + asset.name + " is never used");
  if (!markersOk) return;

  std::string scriptElements;
  for (const ScriptElement& s : doc.scripts) {
    if (!scriptElements.empty()) scriptElements += '\n';
    scriptElements += "<script>" + s.text + "</script>";
  }
  struct Fill {
    std::string marker, text;
  };
  std::map<size_t, Fill> fills;  // marker offset in the page -> what replaces it
  for (Fill fill : {Fill{CSP_MARKER, "<meta http-equiv=\"Content-Security-Policy\" content=\"" + policy(doc.scripts) + "\">"},
                    Fill{STYLES_MARKER, styles.empty() ? "" : "<style>\n" + styles + "</style>"},
                    Fill{SCRIPTS_MARKER, scriptElements}})
    fills[page.find(fill.marker)] = std::move(fill);

  doc.html.reserve(page.size() + styles.size() + scriptElements.size() + 1024);
  size_t done = 0;
  for (const auto& [offset, fill] : fills) {
    doc.html.append(page, done, offset - done);
    doc.html += fill.text;
    done = offset + fill.marker.size();
  }
  doc.html.append(page, done, npos);
  checkCharset(doc.html, list.page, diag);
}
