// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as the path of a file the folder walk met (names need not be UTF-8): the record
// keeps the path's bytes, and the recording list's CSV gives them back whole.
#include "library/ZLXMediaList.h"
#include "presentation/ZLXMediaTableText.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace daxo;

namespace {

// The last field of the CSV's second line, unquoted.
std::string lastField(const std::string& csv) {
    const size_t lineStart = csv.find('\n') + 1;
    size_t at = lineStart;
    for (int comma = 0; comma < 3; ++comma)
        at = csv.find(',', at) + 1;
    std::string field = csv.substr(at, csv.size() - at - 1); // without the final line end
    if (field.empty() || field.front() != '"')
        return field;
    std::string text;
    for (size_t i = 1; i + 1 < field.size(); ++i) {
        text += field[i];
        if (field[i] == '"')
            ++i; // a doubled quote
    }
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path(reinterpret_cast<const char*>(data), size);
    const auto media = ZLXMediaList::createMediaByPath(path);
    if (!media)
        return 0;
    if (media->path() != path::standardize(path))
        std::abort(); // the bytes are the bytes (with "//" and "/./" taken out)
    const std::string csv = mediaListCsv({media});
    if (lastField(csv) != media->path())
        std::abort(); // a script reading the list finds the file
    return 0;
}
