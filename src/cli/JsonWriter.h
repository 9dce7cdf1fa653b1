#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace cantorel::cli {

// Writes one JSON document with indentation; strings must be UTF-8.
class JsonWriter {
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);
    void value(std::string_view s);
    void value(const char* s) { value(std::string_view(s)); }
    void value(std::int64_t n);
    void value(int n) { value(static_cast<std::int64_t>(n)); }
    void value(bool b);
    void value(double d);

    const std::string& text() const { return out_; }

private:
    void beforeValue();
    void writeString(std::string_view s);
    void newline();

    std::string out_;
    std::vector<bool> first_; // per open container: no member written yet
    bool afterKey_ = false;
};

} // namespace cantorel::cli
