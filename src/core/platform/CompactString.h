#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace cantorel {

// A string of 16 bytes for the many short texts a large collection keeps (names, tag
// fields, paths): up to 15 bytes stay inside, a longer one takes a heap block of its own
// size. It reads as a std::string_view and converts to std::string; it is always
// NUL-terminated. A string may also borrow a text that something else keeps (a
// TextPool): it is then never freed here, and a copy or a move of it owns its own block,
// so that no borrowed text leaves the place its keeper made it for.
class CompactString {
public:
    CompactString() { setInline(0); }
    CompactString(std::string_view text) { assign(text); }
    CompactString(const std::string& text) : CompactString(std::string_view(text)) {}
    CompactString(const char* text) : CompactString(std::string_view(text)) {}
    CompactString(const CompactString& other) : CompactString(other.view()) {}
    CompactString(CompactString&& other) noexcept;
    ~CompactString() { release(); }

    // Makes this string read `text` where it lies: text[size] must be NUL, and the bytes
    // must outlive the string. Short texts are copied inside all the same.
    void borrow(std::string_view text);
    bool borrowed() const { return mark() == BorrowMark; }
    // True when the text lies in a heap block of this string's own.
    bool ownsBlock() const { return mark() == HeapMark; }

    CompactString& operator=(const CompactString& other);
    CompactString& operator=(CompactString&& other) noexcept;
    CompactString& operator=(std::string_view text);
    CompactString& operator=(const std::string& text) { return *this = std::string_view(text); }
    CompactString& operator=(const char* text) { return *this = std::string_view(text); }

    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }
    std::string str() const { return std::string(view()); }

    const char* data() const { return outside() ? heap_.data : inline_; }
    const char* c_str() const { return data(); }
    std::size_t size() const { return outside() ? heap_.size : InlineCapacity - mark(); }
    bool empty() const { return size() == 0; }
    void clear() { *this = std::string_view(); }

    friend bool operator==(const CompactString& a, const CompactString& b) { return a.view() == b.view(); }
    friend bool operator==(const CompactString& a, std::string_view b) { return a.view() == b; }
    friend bool operator==(const CompactString& a, const std::string& b) { return a.view() == b; }
    friend bool operator==(const CompactString& a, const char* b) { return a.view() == b; }
    friend std::string operator+(const CompactString& a, std::string_view b) { return a.str().append(b); }
    friend std::string operator+(const CompactString& a, const std::string& b) { return a.str().append(b); }
    friend std::string operator+(const CompactString& a, const char* b) { return a.str().append(b); }
    friend std::string operator+(const CompactString& a, char b) { return a.str() + b; }
    friend std::string operator+(const std::string& a, const CompactString& b) { return a + std::string(b.view()); }
    friend std::string operator+(const char* a, const CompactString& b) { return std::string(a).append(b.view()); }

    static constexpr std::size_t InlineCapacity = 15;

private:
    static constexpr std::uint8_t HeapMark = 0x80;
    static constexpr std::uint8_t BorrowMark = 0x81;

    std::uint8_t mark() const { return static_cast<std::uint8_t>(inline_[15]); }
    bool outside() const { return mark() >= HeapMark; }
    void setInline(std::size_t size) { inline_[15] = static_cast<char>(InlineCapacity - size); }
    void assign(std::string_view text);
    void release();

    struct Heap {
        char* data;
        std::uint32_t size;
        char unused[3];
        std::uint8_t mark;
    };
    union {
        char inline_[16];
        Heap heap_;
    };
};

} // namespace cantorel
