#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unicode/uversion.h>
#include <vector>

U_NAMESPACE_BEGIN
class Collator;
U_NAMESPACE_END

namespace cantorel {

class CodePage;

// Case-insensitive comparison of names in the user's locale, as the directory lists of
// the scan sort them. Names that are not valid UTF-8 are compared as the ANSI page shows
// them. Names that compare equal are ordered by their bytes, so both are kept.
class Collation {
public:
    // `localeName` is a POSIX locale name; C and POSIX use the root collation.
    Collation(const std::string& localeName, const CodePage* ansi);
    ~Collation();
    Collation(const Collation&) = delete;
    Collation& operator=(const Collation&) = delete;

    // A collation of the same rules for another thread: one ICU collator is not to be
    // used by two threads at once.
    std::unique_ptr<Collation> clone() const;

    // <0, 0 or >0; 0 only for identical byte strings.
    int compare(std::string_view a, std::string_view b) const;
    bool less(std::string_view a, std::string_view b) const { return compare(a, b) < 0; }

    // Sorts names in place; equal names stay ordered by their bytes.
    void sort(std::vector<std::string>& names) const;

private:
    Collation(std::unique_ptr<icu::Collator> collator, const CodePage* ansi);
    std::string displayForm(std::string_view name) const;
    // Both names valid UTF-8.
    int compareUtf8(std::string_view a, std::string_view b) const;

    std::unique_ptr<icu::Collator> collator_;
    const CodePage* ansi_;
};

} // namespace cantorel
