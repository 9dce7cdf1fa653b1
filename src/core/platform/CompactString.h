#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

namespace cantorel {

// A string of 8 bytes for the many short texts a large collection keeps (names, tag
// fields, paths): up to 6 bytes stay inside, a longer one takes a heap block of its own
// size, which begins with the text's length. It reads as a std::string_view and converts
// to std::string; it is always NUL-terminated. A string may also borrow a text that a
// TextPool keeps: it then holds the text's address and length, and never frees it; a
// copy or a move of it owns its own block, so that no borrowed text leaves the place its
// keeper made it for.
class CompactString {
public:
    CompactString() { bits_ = InlineMark; }
    CompactString(std::string_view text) { assign(text); }
    CompactString(const std::string& text) : CompactString(std::string_view(text)) {}
    CompactString(const char* text) : CompactString(std::string_view(text)) {}
    CompactString(const CompactString& other) : CompactString(other.view()) {}
    CompactString(CompactString&& other) noexcept;
    ~CompactString() { release(); }

    // Makes this string read `text` where it lies: a text followed by a NUL (as a
    // TextPool keeps them), which must outlive the string. Short texts are copied inside
    // all the same, and texts longer than BorrowLimit to a block of their own.
    void borrow(std::string_view text);
    bool borrowed() const { return (bits_ & (InlineMark | BorrowBit)) == BorrowBit; }
    // True when the text lies in a heap block of this string's own.
    bool ownsBlock() const { return !isInline() && (bits_ & BorrowBit) == 0; }

    CompactString& operator=(const CompactString& other);
    CompactString& operator=(CompactString&& other) noexcept;
    CompactString& operator=(std::string_view text);
    CompactString& operator=(const std::string& text) { return *this = std::string_view(text); }
    CompactString& operator=(const char* text) { return *this = std::string_view(text); }

    std::string_view view() const { return {data(), size()}; }
    operator std::string_view() const { return view(); }
    operator std::string() const { return std::string(view()); }
    std::string str() const { return std::string(view()); }

    const char* data() const
    {
        if (isInline())
            return inline_ + 1;
        return borrowed() ? sliceData(bits_) : block() + sizeof(std::uint32_t);
    }
    const char* c_str() const { return data(); }
    std::size_t size() const
    {
        if (isInline())
            return static_cast<std::uint8_t>(inline_[0]) >> 1;
        if (borrowed())
            return sliceSize(bits_);
        std::uint32_t size = 0;
        std::memcpy(&size, block(), sizeof size);
        return size;
    }
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

    static constexpr std::size_t InlineCapacity = 6;
    // The longest text a string borrows.
    static constexpr std::size_t BorrowLimit = 0x3FFF;

    // A text's address and length in 8 bytes, the low two bits left for a mark: what a
    // borrowed string holds. Nothing when the text is longer than BorrowLimit or lies
    // beyond the 48 bits of address that user space has.
    static std::optional<std::uintptr_t> slice(std::string_view text)
    {
        const auto address = reinterpret_cast<std::uintptr_t>(text.data());
        if (text.size() > BorrowLimit || address >> AddressBits != 0)
            return std::nullopt;
        return address << (64 - AddressBits) | text.size() << 2;
    }
    static const char* sliceData(std::uintptr_t bits)
    {
        return reinterpret_cast<const char*>(bits >> (64 - AddressBits));
    }
    static std::size_t sliceSize(std::uintptr_t bits) { return (bits >> 2) & BorrowLimit; }
    static std::string_view sliceText(std::uintptr_t bits) { return {sliceData(bits), sliceSize(bits)}; }
    // A heap block as a string holds a text outside: the text's length (4 bytes), the
    // text and a NUL; freed with delete[]. A TextPool keeps its texts so too.
    static char* newBlock(std::string_view text);
    // The text of such a block.
    static std::string_view textOf(const char* block);

private:
    // Inside: the first byte is the length times two plus one, the text follows with its
    // NUL. Outside: the address of a block (a multiple of 4) of the length, the text and a
    // NUL. Borrowed: a slice() with BorrowBit set.
    static constexpr std::uintptr_t InlineMark = 1;
    static constexpr std::uintptr_t BorrowBit = 2;
    static constexpr int AddressBits = 48;

    bool isInline() const { return (bits_ & InlineMark) != 0; }
    const char* block() const { return reinterpret_cast<const char*>(bits_ & ~std::uintptr_t{3}); }
    void assign(std::string_view text);
    void release();

    union {
        char inline_[8];
        std::uintptr_t bits_;
    };
};

} // namespace cantorel
