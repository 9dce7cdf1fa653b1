#pragma once

#include "core/collection/Journal.h"
#include "core/platform/CodePage.h"
#include "core/platform/Result.h"

#include <optional>
#include <string>
#include <vector>

namespace cantorel {

// A text of a folder that looks stored in another code page than it is read in.
struct RepairField {
    std::string path;     // the track or the description file
    std::string name;     // the frame ("TIT2"), the ID3v1 field ("ID3v1 title") or "description"
    std::string entry;    // for a description: the entry it describes
    std::string stored;   // the bytes as stored (single bytes of a UTF-16 frame)
    std::string shown;    // as it is shown now (UTF-8)
    std::string repaired; // as it would be in the proposal's code page (UTF-8)
};

// The code page a folder's texts were written in, when it is not the one they are read in.
struct RepairProposal {
    std::string folder;
    std::string codePage; // an ICU converter name: "windows-1251", "IBM866", "Shift_JIS" ...
    int confidence = 0;   // 0-100
    std::vector<RepairField> fields;
};

// Text stored in the wrong code page, found per folder and repaired: the ID3v1 fields, the
// ID3v2 text frames marked ISO-8859-1 (and UTF-16 frames holding single bytes), and the
// description file of a folder are joined and tested against the candidate code pages,
// with ICU's charset detection and a check that the text is letters of one script. An
// album is almost always written in one code page, so a folder gets one proposal, or none.
class CodePageRepair {
public:
    struct Settings {
        const CodePage& tagCodePage; // of the ID3v1 fields
        const CodePage& oem;         // of description files
        std::string descriptionFile = "files.bbs";
        bool extended = true; // ID3v2 tags too
    };

    // The code pages a folder is tested against.
    static const std::vector<std::string>& candidates();
    // The texts of `folder` (its tracks and its description file) that hold bytes beyond
    // ASCII in a single-byte reading.
    static std::vector<RepairField> suspects(const std::string& folder, const Settings& settings);
    // The proposal for these texts: in `forced` when given (nothing when it cannot read them),
    // else the code page that reads them best, when it reads them plausibly and they are
    // not plausible as they are shown.
    static std::optional<RepairProposal> propose(const std::string& folder, std::vector<RepairField> fields,
                                                 const std::string& forced = {});
    // Writes the repaired texts: tracks through the tag writer (ID3v2.4 frames in UTF-8,
    // the ID3v1 block keeping what its code page holds), the description file in UTF-8;
    // one journal entry for the whole folder. The number of files written.
    static Result<int> apply(const RepairProposal& proposal, const Settings& settings, Journal* journal,
                             const std::string& collection);
};

} // namespace cantorel
