// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>

#include "ledger/database.h"

#ifdef PW_HAVE_LIBPQ
#include <libpq-fe.h>
#endif

namespace pw::ledger {

#ifdef PW_HAVE_LIBPQ
namespace {

// A bench must never wait long for a server that has gone: these apply unless the URI sets
// its own.
const char* const kDefaultKeywords[] = {"connect_timeout", "keepalives_idle", "keepalives_interval",
                                        "keepalives_count", "tcp_user_timeout"};
const char* const kDefaultValues[] = {"3", "5", "2", "2", "5000"};

std::string Trimmed(const char* text) {
  std::string s = text ? text : "";
  while (!s.empty() && (s.back() == '\n' || s.back() == ' '))
    s.pop_back();
  return s;
}

class PostgresqlDatabase final : public Database {
public:
  explicit PostgresqlDatabase(PGconn* conn) : conn_(conn) {}
  ~PostgresqlDatabase() override { PQfinish(conn_); }
  Engine Kind() const override { return Engine::Postgresql; }
  bool Connected() const override { return PQstatus(conn_) == CONNECTION_OK; }
  bool Reconnect() override {
    PQreset(conn_);
    return Connected();
  }

  DbResult Exec(const std::string& sql, const std::vector<std::string>& params) override {
    DbResult r;
    std::vector<const char*> values;
    for (const std::string& p : params)
      values.push_back(p.c_str());
    PGresult* res = params.empty() ? PQexec(conn_, sql.c_str())
                                   : PQexecParams(conn_, sql.c_str(), int(values.size()), nullptr,
                                                  values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = PQresultStatus(res);
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
      r.ok = true;
      for (int i = 0; i < PQntuples(res); ++i) {
        Row row;
        for (int c = 0; c < PQnfields(res); ++c)
          row.emplace_back(PQgetvalue(res, i, c), std::size_t(PQgetlength(res, i, c)));
        r.rows.push_back(std::move(row));
      }
    } else {
      r.error = Trimmed(res ? PQresultErrorMessage(res) : PQerrorMessage(conn_));
      if (r.error.empty())
        r.error = Trimmed(PQerrorMessage(conn_));
    }
    PQclear(res);
    return r;
  }

  bool BeginWrite(std::string* error) override {
    DbResult r = Exec("BEGIN", {});
    if (!r.ok && error)
      *error = r.error;
    return r.ok;
  }

private:
  PGconn* conn_;
};

} // namespace

DbOpen OpenPostgresql(const std::string& uri) {
  DbOpen out;
  std::vector<const char*> keywords(std::begin(kDefaultKeywords), std::end(kDefaultKeywords));
  std::vector<const char*> values(std::begin(kDefaultValues), std::end(kDefaultValues));
  // The URI comes last, so its own settings win over the defaults above.
  keywords.push_back("dbname");
  values.push_back(uri.c_str());
  keywords.push_back(nullptr);
  values.push_back(nullptr);
  PGconn* conn = PQconnectdbParams(keywords.data(), values.data(), 1);
  if (!conn) {
    out.error = "out of memory";
    return out;
  }
  if (PQstatus(conn) != CONNECTION_OK) {
    out.error = Trimmed(PQerrorMessage(conn));
    PQfinish(conn);
    return out;
  }
  auto db = std::make_unique<PostgresqlDatabase>(conn);
  // Notices (a table that exists already) are no news for the user.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  db->Exec("SET client_min_messages TO warning", {});
  out.db = std::move(db);
  return out;
}
#else
DbOpen OpenPostgresql(const std::string&) {
  return DbOpen{nullptr, "this build has no PostgreSQL ledger"};
}
#endif

} // namespace pw::ledger
