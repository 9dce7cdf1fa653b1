#include "core/platform/Collation.h"

#include "core/platform/CodePage.h"
#include "core/platform/SystemLocale.h"
#include "core/platform/TextRules.h"

#include <algorithm>
#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/stringpiece.h>

namespace cantorel {

namespace {

icu::Locale icuLocale(const std::string& localeName)
{
    const std::string language = locale::languageOf(localeName);
    if (language.empty())
        return icu::Locale::getRoot();
    const std::size_t end = localeName.find_first_of(".@");
    return icu::Locale(localeName.substr(0, end).c_str());
}

} // namespace

Collation::Collation(const std::string& localeName, const CodePage* ansi) : ansi_(ansi)
{
    UErrorCode status = U_ZERO_ERROR;
    collator_.reset(icu::Collator::createInstance(icuLocale(localeName), status));
    if (U_FAILURE(status) || !collator_) {
        status = U_ZERO_ERROR;
        collator_.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    if (collator_)
        collator_->setStrength(icu::Collator::SECONDARY);
}

Collation::Collation(std::unique_ptr<icu::Collator> collator, const CodePage* ansi)
    : collator_(std::move(collator)), ansi_(ansi)
{
}

Collation::~Collation() = default;

std::unique_ptr<Collation> Collation::clone() const
{
    return std::unique_ptr<Collation>(
        new Collation(std::unique_ptr<icu::Collator>(collator_ ? collator_->clone() : nullptr), ansi_));
}

std::string Collation::displayForm(std::string_view name) const
{
    if (text::isValidUtf8(name) || !ansi_)
        return std::string(name);
    return ansi_->decode(name);
}

int Collation::compare(std::string_view a, std::string_view b) const
{
    if (collator_) {
        UErrorCode status = U_ZERO_ERROR;
        // Names are almost always UTF-8 already; only others are decoded for the comparison.
        std::string da, db;
        std::string_view sa = a, sb = b;
        if (!text::isValidUtf8(a))
            sa = da = displayForm(a);
        if (!text::isValidUtf8(b))
            sb = db = displayForm(b);
        const UCollationResult r =
            collator_->compareUTF8(icu::StringPiece(sa.data(), static_cast<int32_t>(sa.size())),
                                   icu::StringPiece(sb.data(), static_cast<int32_t>(sb.size())), status);
        if (U_SUCCESS(status) && r != UCOL_EQUAL)
            return r == UCOL_LESS ? -1 : 1;
    }
    return a.compare(b);
}

int Collation::compareUtf8(std::string_view a, std::string_view b) const
{
    if (collator_) {
        UErrorCode status = U_ZERO_ERROR;
        const UCollationResult r =
            collator_->compareUTF8(icu::StringPiece(a.data(), static_cast<int32_t>(a.size())),
                                   icu::StringPiece(b.data(), static_cast<int32_t>(b.size())), status);
        if (U_SUCCESS(status) && r != UCOL_EQUAL)
            return r == UCOL_LESS ? -1 : 1;
    }
    return a.compare(b);
}

void Collation::sort(std::vector<std::string>& names) const
{
    bool allUtf8 = true;
    for (const std::string& name : names)
        allUtf8 = allUtf8 && text::isValidUtf8(name);
    // The common case checks each name once instead of at every comparison.
    if (allUtf8)
        std::sort(names.begin(), names.end(),
                  [this](const std::string& a, const std::string& b) { return compareUtf8(a, b) < 0; });
    else
        std::sort(names.begin(), names.end(),
                  [this](const std::string& a, const std::string& b) { return compare(a, b) < 0; });
}

} // namespace cantorel
