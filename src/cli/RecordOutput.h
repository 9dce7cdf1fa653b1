#pragma once

#include <iosfwd>

namespace cantorel {
struct CollectionItem;
}

namespace cantorel::cli {

class JsonWriter;

// The 14 fields of a record, as a JSON object or as indented "Field: value" lines.
void writeRecord(JsonWriter& json, const CollectionItem& item);
void printRecord(std::ostream& out, const CollectionItem& item, const char* indent);

} // namespace cantorel::cli
