// Where the settings file lives: beside an executable in a folder of its
// own, else in the user's configuration folder, created at the first save.
#include "forms_fixture.h"
#include "settings_place.h"

#include <QDir>
#include <QFileInfo>

namespace {

TEST(SettingsPlace, AWritableFolderKeepsTheFileBesideTheExecutable) {
    EXPECT_EQ(settingsplace("/opt/krovan", true, "/home/u/.config/krovan"),
              "/opt/krovan/default.ini");
    EXPECT_EQ(settingsplace("/usr/bin", false, "/home/u/.config/krovan"),
              "/home/u/.config/krovan/default.ini");
}

TEST(SettingsPlace, TheConfigurationFolderFollowsXdgConfigHome) {
    EXPECT_EQ(userconfigfolder("/tmp/cfg", "/home/u"), "/tmp/cfg/krovan");
    EXPECT_EQ(userconfigfolder("/tmp/cfg/", "/home/u"), "/tmp/cfg/krovan");
    EXPECT_EQ(userconfigfolder("", "/home/u"), "/home/u/.config/krovan");
    // A relative value is ignored, as the XDG rules ask.
    EXPECT_EQ(userconfigfolder("cfg", "/home/u"), "/home/u/.config/krovan");
}

TEST(SettingsPlace, InstalledFoldersAreNeverWrittenEvenByRoot) {
    const QStringList folders = installedfolders();
    EXPECT_TRUE(folders.contains("/usr/bin")) << folders.join(':').toStdString();
    for (const QString &folder : folders)
        EXPECT_FALSE(ownsfolder(folder)) << folder.toStdString();
    EXPECT_FALSE(ownsfolder("/usr/bin/"));
    QTemporaryDir own;
    EXPECT_TRUE(ownsfolder(own.path()));
    EXPECT_FALSE(ownsfolder(own.filePath("missing")));
}

TEST(SettingsPlace, TheTestProgramsFolderIsItsOwn) {
    EXPECT_EQ(defaultsettingsfile(), QApplication::applicationDirPath() + "/default.ini");
}

class SettingsFolder : public FormsTest {};

TEST_F(SettingsFolder, TheFirstCloseCreatesTheConfigurationFolder) {
    const QString file = dir.filePath("config/krovan/default.ini");
    Form1->settingsfile = file;
    start();
    EXPECT_TRUE(Form1->close());
    EXPECT_TRUE(fakeDialogs().errors.isEmpty()) << fakeDialogs().errors.join('\n').toStdString();
    EXPECT_TRUE(QFileInfo(file).isFile());
}

} // namespace
