#pragma once

#include <string>
#include <vector>

#include "core/result.h"

namespace pelantra {

class PostgreSQLSession;

struct SchoolEntry {
    std::string id; // sekolah_id, the key
    std::string name; // nama, the shown text
};

// Schools that have operator accounts, in server order, one entry per
// account (a school with two accounts is listed twice). A failed query
// fails with the server's answer in the detail.
Result<std::vector<SchoolEntry>> LoadSchoolList(PostgreSQLSession& session);

} // namespace pelantra
