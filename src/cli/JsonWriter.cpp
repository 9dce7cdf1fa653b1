#include "cli/JsonWriter.h"

#include <charconv>
#include <cstdio>

namespace cantorel::cli {

void JsonWriter::newline()
{
    out_ += '\n';
    out_.append(first_.size() * 2, ' ');
}

void JsonWriter::beforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (first_.empty())
        return;
    if (!first_.back())
        out_ += ',';
    first_.back() = false;
    newline();
}

void JsonWriter::beginObject()
{
    beforeValue();
    out_ += '{';
    first_.push_back(true);
}

void JsonWriter::endObject()
{
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty)
        newline();
    out_ += '}';
    if (first_.empty())
        out_ += '\n';
}

void JsonWriter::beginArray()
{
    beforeValue();
    out_ += '[';
    first_.push_back(true);
}

void JsonWriter::endArray()
{
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty)
        newline();
    out_ += ']';
    if (first_.empty())
        out_ += '\n';
}

void JsonWriter::key(std::string_view name)
{
    beforeValue();
    writeString(name);
    out_ += ": ";
    afterKey_ = true;
}

void JsonWriter::value(std::string_view s)
{
    beforeValue();
    writeString(s);
}

void JsonWriter::writeString(std::string_view s)
{
    out_ += '"';
    for (char c : s) {
        const auto b = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
            if (b < 0x20) {
                char buffer[8];
                std::snprintf(buffer, sizeof buffer, "\\u%04x", b);
                out_ += buffer;
            } else {
                out_ += c;
            }
        }
    }
    out_ += '"';
}

void JsonWriter::value(std::int64_t n)
{
    beforeValue();
    out_ += std::to_string(n);
}

void JsonWriter::value(bool b)
{
    beforeValue();
    out_ += b ? "true" : "false";
}

void JsonWriter::value(double d)
{
    beforeValue();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, d);
    out_.append(text, result.ptr);
}

} // namespace cantorel::cli
