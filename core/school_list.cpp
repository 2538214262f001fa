#include "core/school_list.h"

#include "core/database.h"
#include "core/messages.h"
#include "core/platform.h"

namespace pelantra {

Result<std::vector<SchoolEntry>> LoadSchoolList(PostgreSQLSession& session)
{
    std::vector<SchoolEntry> schools;
    Sql sql(session);
    if (!sql.Query("SELECT s.sekolah_id,s.nama FROM pengguna p INNER JOIN sekolah s ON p.sekolah_id=s.sekolah_id"))
        return Failure{kSchoolListUnreadable, sql.ErrorText()};
    while (sql.Fetch())
        schools.push_back({sql[0], Utf8FromUnnamedEncoding(sql[1])});
    return schools;
}

} // namespace pelantra
