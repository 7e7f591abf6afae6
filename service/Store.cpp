#include "Store.h"

#include <stdexcept>

namespace service {

namespace {

struct Statement {
    sqlite3_stmt* stmt = nullptr;
    Statement(sqlite3* db, const char* sql) {
        if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
            throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db));
        }
    }
    ~Statement() { sqlite3_finalize(stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

void Exec(sqlite3* db, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        std::string text = error ? error : "unknown error";
        sqlite3_free(error);
        throw std::runtime_error("database: " + text);
    }
}

std::string ColumnText(sqlite3_stmt* stmt, int column) {
    const auto* text = sqlite3_column_text(stmt, column);
    return text ? reinterpret_cast<const char*>(text) : std::string();
}

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
    sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

const char kSchema[] = R"sql(
CREATE TABLE subcategory(
  id INTEGER PRIMARY KEY,
  tab INTEGER NOT NULL,
  name TEXT NOT NULL);
CREATE TABLE template(
  id INTEGER PRIMARY KEY,
  cid INTEGER NOT NULL REFERENCES subcategory(id),
  name TEXT NOT NULL,
  author TEXT NOT NULL,
  downloads INTEGER NOT NULL DEFAULT 0,
  published TEXT NOT NULL,
  thumb TEXT NOT NULL,
  detail TEXT NOT NULL,
  file TEXT NOT NULL);
CREATE INDEX template_cid ON template(cid);
CREATE TABLE report(
  id INTEGER PRIMARY KEY,
  time TEXT NOT NULL,
  action TEXT, uid TEXT, cid TEXT, channel TEXT, ver TEXT,
  user_agent TEXT, remote TEXT);
PRAGMA user_version = 1;
)sql";

// One read-only connection per server thread for searches.
class ThreadConnection {
public:
    sqlite3* Get(const std::string& path) {
        if (!db_ || path_ != path) {
            Close();
            if (sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX,
                                nullptr) != SQLITE_OK) {
                Close();
                throw std::runtime_error("database: cannot open " + path);
            }
            sqlite3_busy_timeout(db_, 5000);
            path_ = path;
        }
        return db_;
    }
    ~ThreadConnection() { Close(); }

private:
    void Close() {
        if (db_) {
            sqlite3_close(db_);
        }
        db_ = nullptr;
    }
    sqlite3* db_ = nullptr;
    std::string path_;
};

}  // namespace

Store::Store(std::string path) : path_(std::move(path)) {
    if (sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        std::string text = db_ ? sqlite3_errmsg(db_) : "out of memory";
        sqlite3_close(db_);
        throw std::runtime_error("database: cannot open " + path_ + ": " + text);
    }
    sqlite3_busy_timeout(db_, 5000);
    Exec(db_, "PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL;");
    int version = 0;
    {
        Statement st(db_, "PRAGMA user_version");
        if (sqlite3_step(st.stmt) == SQLITE_ROW) {
            version = sqlite3_column_int(st.stmt, 0);
        }
    }
    if (version == 0) {
        Exec(db_, "BEGIN IMMEDIATE");
        try {
            Exec(db_, kSchema);
            Statement sub(db_, "INSERT INTO subcategory(id, tab, name) VALUES(?1, ?2, ?3)");
            for (const Subcategory& s : Subcategories()) {
                sqlite3_bind_int(sub.stmt, 1, s.id);
                sqlite3_bind_int(sub.stmt, 2, s.tab);
                sqlite3_bind_text(sub.stmt, 3, s.name, -1, SQLITE_STATIC);
                sqlite3_step(sub.stmt);
                sqlite3_reset(sub.stmt);
            }
            Statement tpl(db_,
                          "INSERT INTO template(id, cid, name, author, downloads, published, "
                          "thumb, detail, file) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)");
            for (const TemplateRecord& t : MakeSampleTemplates()) {
                sqlite3_bind_int64(tpl.stmt, 1, t.id);
                sqlite3_bind_int(tpl.stmt, 2, t.cid);
                BindText(tpl.stmt, 3, t.name);
                BindText(tpl.stmt, 4, t.author);
                sqlite3_bind_int64(tpl.stmt, 5, t.downloads);
                BindText(tpl.stmt, 6, t.published);
                BindText(tpl.stmt, 7, t.thumb);
                BindText(tpl.stmt, 8, t.detail);
                BindText(tpl.stmt, 9, t.file);
                if (sqlite3_step(tpl.stmt) != SQLITE_DONE) {
                    throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db_));
                }
                sqlite3_reset(tpl.stmt);
            }
            Exec(db_, "COMMIT");
        } catch (...) {
            sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
        created_ = true;
    }
    if (sqlite3_prepare_v2(db_,
                           "INSERT INTO report(time, action, uid, cid, channel, ver, user_agent, "
                           "remote) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)",
                           -1, &insertReport_, nullptr) != SQLITE_OK) {
        std::string text = sqlite3_errmsg(db_);
        sqlite3_close(db_);
        throw std::runtime_error("database: " + text);
    }
}

Store::~Store() {
    sqlite3_finalize(insertReport_);
    sqlite3_close(db_);
}

std::vector<TemplateRecord> Store::LoadTemplates() {
    std::vector<TemplateRecord> out;
    Statement st(db_,
                 "SELECT id, cid, name, author, downloads, published, thumb, detail, file "
                 "FROM template ORDER BY id");
    while (sqlite3_step(st.stmt) == SQLITE_ROW) {
        TemplateRecord t;
        t.id = sqlite3_column_int64(st.stmt, 0);
        t.cid = sqlite3_column_int(st.stmt, 1);
        t.name = ColumnText(st.stmt, 2);
        t.author = ColumnText(st.stmt, 3);
        t.downloads = sqlite3_column_int64(st.stmt, 4);
        t.published = ColumnText(st.stmt, 5);
        t.thumb = ColumnText(st.stmt, 6);
        t.detail = ColumnText(st.stmt, 7);
        t.file = ColumnText(st.stmt, 8);
        out.push_back(std::move(t));
    }
    return out;
}

std::vector<std::int64_t> Store::Search(const std::string& keyword, int sort) const {
    thread_local ThreadConnection connection;
    sqlite3* db = connection.Get(path_);
    // instr() compares plain text: "%", "_" and quotes are not special.
    const char* sql =
        sort == 2 ? "SELECT id FROM template WHERE instr(lower(name), lower(?1)) > 0 "
                    "OR instr(lower(author), lower(?1)) > 0 ORDER BY published DESC, id DESC"
                  : "SELECT id FROM template WHERE instr(lower(name), lower(?1)) > 0 "
                    "OR instr(lower(author), lower(?1)) > 0 ORDER BY downloads DESC, id ASC";
    Statement st(db, sql);
    BindText(st.stmt, 1, keyword);
    std::vector<std::int64_t> ids;
    int rc;
    while ((rc = sqlite3_step(st.stmt)) == SQLITE_ROW) {
        ids.push_back(sqlite3_column_int64(st.stmt, 0));
    }
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db));
    }
    return ids;
}

void Store::AddReport(const Report& r) {
    std::lock_guard<std::mutex> lock(writeLock_);
    BindText(insertReport_, 1, r.time);
    BindText(insertReport_, 2, r.action);
    BindText(insertReport_, 3, r.uid);
    BindText(insertReport_, 4, r.cid);
    BindText(insertReport_, 5, r.channel);
    BindText(insertReport_, 6, r.ver);
    BindText(insertReport_, 7, r.userAgent);
    BindText(insertReport_, 8, r.remote);
    const int rc = sqlite3_step(insertReport_);
    sqlite3_reset(insertReport_);
    sqlite3_clear_bindings(insertReport_);
    if (rc != SQLITE_DONE) {
        throw std::runtime_error(std::string("database: ") + sqlite3_errmsg(db_));
    }
}

void Store::ForEachReport(const std::function<void(const Report&)>& visit) {
    Statement st(db_,
                 "SELECT time, action, uid, cid, channel, ver, user_agent, remote FROM report "
                 "ORDER BY id");
    while (sqlite3_step(st.stmt) == SQLITE_ROW) {
        Report r;
        r.time = ColumnText(st.stmt, 0);
        r.action = ColumnText(st.stmt, 1);
        r.uid = ColumnText(st.stmt, 2);
        r.cid = ColumnText(st.stmt, 3);
        r.channel = ColumnText(st.stmt, 4);
        r.ver = ColumnText(st.stmt, 5);
        r.userAgent = ColumnText(st.stmt, 6);
        r.remote = ColumnText(st.stmt, 7);
        visit(r);
    }
}

}  // namespace service
