// The storage contract over the table files of a temporary installation.
#include "database/StorageContract.h"
#include "database/TableFile.h"
#include "support/DatabaseFaults.h"

using namespace tarn;
using namespace tarn::database;
using namespace tarn::test::contract;

namespace {

// The table files under a temporary installation.
class SqliteBackend {
public:
    SqliteBackend() : storage_(home_.root(), schemas_) {}
    QString start() { return {}; }
    Storage& storage() { return storage_; }
    // Where the files beside the tables go (parameter files, side CSV files).
    const DataRoot& files() const { return home_.root(); }
    // Another program's write transaction on the table, held while the returned object lives.
    std::shared_ptr<void> holdForWriting(const TableId& id) {
        auto holder = std::make_shared<test::SqliteHolder>(storage_.location(id));
        if (!holder->lockForWriting()) return nullptr;
        return holder;
    }
    // The table's rows made unreadable, its name still there.
    bool damage(const TableId& id) {
        const QString path = storage_.location(id);
        return settleTableFile(path) && test::damageTableFile(path);
    }

private:
    test::TempHome home_;
    Schemas schemas_ = test::contract::shippedSchemas();
    SqliteStorage storage_;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Sqlite, StorageContract, SqliteBackend);
