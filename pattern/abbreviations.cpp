#include "pattern/abbreviations.h"

namespace pattern {
namespace {

struct Abbreviation {
  WideChar key;
  const WideChar* body;
};

// Looked up in this order. Only the first element of a body is compiled,
// which is why `q` never matches the single-quoted form.
const Abbreviation kAbbreviations[] = {
    {WTEXT('a'), WTEXT("([a-zA-Z0-9])")},
    {WTEXT('b'), WTEXT("([ \\t])")},
    {WTEXT('c'), WTEXT("([a-zA-Z])")},
    {WTEXT('d'), WTEXT("([0-9])")},
    {WTEXT('h'), WTEXT("([0-9a-fA-F])")},
    {WTEXT('n'), WTEXT("(\r|(\r?\n))")},
    {WTEXT('q'), WTEXT("(\"[^\"]*\")|('[^']*')")},
    {WTEXT('w'), WTEXT("([a-zA-Z]+)")},
    {WTEXT('z'), WTEXT("([0-9]+)")},
};

}  // namespace

const WideChar* FindAbbreviation(WideChar key) {
  for (const Abbreviation& entry : kAbbreviations) {
    if (entry.key == key) return entry.body;
  }
  return nullptr;
}

}  // namespace pattern
