#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <unicode/uversion.h>
#include <unordered_map>

U_NAMESPACE_BEGIN
class Normalizer2;
class Transliterator;
U_NAMESPACE_END

namespace cantorel {

// Text as a search compares it: case folded, compatibility-decomposed and without
// combining marks ("Café" and "CAFE" both give "cafe"), in any script. With `latin` on,
// `latin()` also gives a Latin (ASCII) spelling of text in other scripts ("Кино" gives
// "kino"). One folder is for one thread at a time.
class TextFolder {
public:
    explicit TextFolder(bool latin);
    ~TextFolder();
    TextFolder(const TextFolder&) = delete;
    TextFolder& operator=(const TextFolder&) = delete;

    // The folded form of UTF-8 text (invalid bytes become U+FFFD).
    std::string fold(std::string_view utf8) const;
    // The folded Latin spelling of folded text that is not all ASCII; "" when there is
    // none, or it is the same. Words are transliterated once each and remembered.
    std::string latin(std::string_view folded);
    bool transliterates() const { return transliterator_ != nullptr; }

private:
    std::string transliterate(std::string_view word);

    const icu::Normalizer2* decompose_ = nullptr;
    std::unique_ptr<icu::Transliterator> transliterator_;
    std::unordered_map<std::string, std::string> words_;
};

} // namespace cantorel
