// The group files' contract over an installation's Group folder, and what only the folder has to get
// right: the files are where the installation keeps them, written as they always were.
#include "database/GroupFilesContract.h"

#include <QDir>

using namespace tarn;
using namespace tarn::database;
using namespace tarn::test::groupcontract;

namespace {

class FolderBackend {
public:
    QString start() {
        if (!home_.root().createFolders()) return QStringLiteral("cannot lay out the installation");
        files_ = std::make_unique<FolderGroupFiles>(home_.root());
        return {};
    }
    GroupFiles& files() { return *files_; }
    std::unique_ptr<GroupFiles> another() const { return std::make_unique<FolderGroupFiles>(home_.root()); }
    // The file itself, as any other program opens it.
    QByteArray rawBytes(const QString& name) const { return home_.read(folder::Group, name); }
    const test::TempHome& home() const { return home_; }

private:
    test::TempHome home_;
    std::unique_ptr<FolderGroupFiles> files_;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(Folder, GroupFilesContract, FolderBackend);

// The folder's changes go one after another and stop at the first that fails; what went before stays,
// what comes after is not tried, and the caller learns which file failed.
TEST(FolderGroupFiles, AFailedChangeNamesItsFileAndGoesNoFurther) {
    FolderBackend backend;
    ASSERT_TRUE(backend.start().isEmpty());
    // A folder where the file should be cannot be written over.
    ASSERT_TRUE(QDir(backend.home().root().dir(folder::Group)).mkdir(QStringLiteral("261210080001")));
    QString failed;
    const Error why = backend.files().change({{QStringLiteral("261210080000"), QByteArray("first\r\n")},
                                              {QStringLiteral("261210080001"), QByteArray("second\r\n")},
                                              {QStringLiteral("261210080002"), QByteArray("third\r\n")}},
                                             &failed);
    EXPECT_TRUE(why.failed());
    EXPECT_EQ(failed, QStringLiteral("261210080001"));
    EXPECT_EQ(backend.rawBytes(QStringLiteral("261210080000")), QByteArray("first\r\n"));
    EXPECT_FALSE(backend.home().exists(folder::Group, QStringLiteral("261210080002")));
    // A rewrite leaves no copy behind, and the stop files of group runs are no group files.
    ASSERT_TRUE(backend.files().write(QStringLiteral("261210080000"), QByteArray("again\r\n")).ok());
    backend.home().write(folder::Group, QStringLiteral("261210080000.err"), QByteArray("x\r\n"));
    Error listed;
    EXPECT_EQ(backend.files().names(listed), QList<QString>{QStringLiteral("261210080000")});
    EXPECT_EQ(backend.files().location(QStringLiteral("261210080000")),
              backend.home().path(folder::Group, QStringLiteral("261210080000")));
}
