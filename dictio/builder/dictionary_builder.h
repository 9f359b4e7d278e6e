// Writes a whole dictionary through the dictionary library from a description of its
// tables, in the order readers rely on: each table, its fields (IDs rising, offsets end to
// end), its named indexes, then its segments key by key and part by part.
#pragma once

#include <string>
#include <vector>

namespace dictio {

struct FieldSpec {
  std::string name;
  int type = 0;
  int size = 0;
  int decimals = 0;
};
struct SegmentSpec {
  std::string field;  // name of a field of the table
  int key_number = 0;
  int part = 0;
  int flags = 0;  // key flags; 16 when another segment of the key follows
};
struct NamedIndexSpec {
  std::string name;
  int key_number = 0;
};
struct TableSpec {
  int id = 0;
  std::string name;
  std::string location;
  std::vector<FieldSpec> fields;
  std::vector<SegmentSpec> segments;
  std::vector<NamedIndexSpec> named_indexes;
};

// Creates the dictionary in `directory` (replacing one there) and writes the tables; field
// IDs are numbered from `first_field_id`. Returns 0 or the first failing status.
int BuildDictionary(const std::string &directory, const std::vector<TableSpec> &tables,
                    int first_field_id = 19);

}  // namespace dictio
