#pragma once

#include <string>
#include <vector>

namespace pelantra {

class PostgreSQLSession;

struct SchoolEntry {
    std::string id; // sekolah_id, the key
    std::string name; // nama, the shown text
};

// Schools that have operator accounts, in server order, one entry per
// account (a school with two accounts is listed twice). A failed query gives
// an empty list.
std::vector<SchoolEntry> LoadSchoolList(PostgreSQLSession& session);

} // namespace pelantra
