#pragma once

#include <iosfwd>

namespace cantorel {
class CodePage;
struct CollectionItem;
} // namespace cantorel

namespace cantorel::cli {

class JsonWriter;

// The 14 fields of a record, as a JSON object or as indented "Field: value" lines; paths
// as the window shows them (names that are not UTF-8 decoded from `ansi`).
void writeRecord(JsonWriter& json, const CollectionItem& item, const CodePage& ansi);
void printRecord(std::ostream& out, const CollectionItem& item, const CodePage& ansi, const char* indent);

} // namespace cantorel::cli
