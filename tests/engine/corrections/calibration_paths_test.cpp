// SPDX-License-Identifier: GPL-3.0-or-later
// Where "Speichern" writes: only regular files are read or replaced, links
// keep pointing at the replaced file, a protected file stays protected, and
// neither a failure nor a kill damages the calibration or its backup.

#include "engine/corrections/calibration_file.h"
#include "support/file_text.h"
#include "support/fresh_engine.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class CalibrationPaths : public quarvel_test::fresh_engine {
protected:
  void SetUp() override
  {
    fresh_engine::SetUp();
    write(path("Quarvel_bak.cal"), "previous backup\r\n");
    lcr::tcalibration_tables tables = lcr::nominal_calibration_tables();
    tables.z_ref[2][3] = {1001.5, -0.25};
    const std::lock_guard lock(lcr::publication_lock);
    lcr::calibration = tables;
  }

  std::string path(const std::string& name) const { return directory.path() + "/" + name; }

  static std::string read(const std::string& file) { return quarvel_test::read_file(file); }
  static void write(const std::string& file, const std::string& text) { quarvel_test::write_file(file, text); }

  lcr::tfile_result save(const std::string& name)
  {
    return lcr::cal_save_with_backup(path(name), path("Quarvel_bak.cal"));
  }

  static fs::perms permissions(const std::string& file) { return fs::status(file).permissions(); }

  quarvel_test::temporary_directory directory;
};

TEST_F(CalibrationPaths, AnythingButARegularFileIsRefusedUntouched)
{
  ASSERT_EQ(::mkfifo(path("fifo").c_str(), 0600), 0);
  fs::create_symlink("/dev/null", path("null"));
  fs::create_directory(path("folder"));
  const struct {
    const char* name;
    const char* message;
  } cases[] = {{"fifo", "E/A-Fehler 22"}, {"null", "E/A-Fehler 22"}, {"folder", "E/A-Fehler 21"}};
  for (const auto& c : cases) {
    const lcr::tfile_result result = save(c.name);
    EXPECT_FALSE(result.ok) << c.name;
    EXPECT_EQ(result.text(), path(c.name) + ": " + c.message);
    EXPECT_EQ(read(path("Quarvel_bak.cal")), "previous backup\r\n") << c.name;
    // Neither would a backup be taken from it.
    EXPECT_EQ(lcr::cal_backup(path(c.name), path("Quarvel_bak.cal")).message, c.message);
    EXPECT_EQ(read(path("Quarvel_bak.cal")), "previous backup\r\n") << c.name;
  }
  EXPECT_TRUE(fs::is_fifo(path("fifo")));
  EXPECT_TRUE(fs::is_symlink(path("null")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));
  EXPECT_TRUE(fs::is_directory(path("folder")));
  EXPECT_EQ(directory.entries(), (std::vector<std::string>{"Quarvel_bak.cal", "fifo", "folder", "null"}));
}

TEST_F(CalibrationPaths, SavingThroughALinkReplacesItsFileAndKeepsTheLink)
{
  fs::create_directory(path("shared"));
  write(path("shared/lab.cal"), "old calibration\r\n");
  fs::create_symlink("shared/lab.cal", path("Quarvel.cal"));  // relative to the link's folder

  const lcr::tfile_result result = save("Quarvel.cal");
  ASSERT_TRUE(result.ok) << result.text();
  EXPECT_TRUE(fs::is_symlink(path("Quarvel.cal")));
  EXPECT_EQ(fs::read_symlink(path("Quarvel.cal")), "shared/lab.cal");
  EXPECT_NE(read(path("shared/lab.cal")).find(lcr::calibration_field(1001.5)), std::string::npos);
  EXPECT_EQ(read(path("Quarvel_bak.cal")), "old calibration\r\n");
  EXPECT_EQ(directory.entries(), (std::vector<std::string>{"Quarvel.cal", "Quarvel_bak.cal", "shared"}));
}

TEST_F(CalibrationPaths, AProtectedFileStaysAndPermissionsAreKept)
{
  write(path("Quarvel.cal"), "protected\r\n");
  fs::permissions(path("Quarvel.cal"), fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  const lcr::tfile_result refused = save("Quarvel.cal");
  EXPECT_EQ(refused.text(), path("Quarvel.cal") + ": E/A-Fehler 13");
  EXPECT_EQ(read(path("Quarvel.cal")), "protected\r\n");
  EXPECT_EQ(read(path("Quarvel_bak.cal")), "previous backup\r\n");

  fs::permissions(path("Quarvel.cal"), fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(save("Quarvel.cal").ok);
  EXPECT_EQ(permissions(path("Quarvel.cal")), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(read(path("Quarvel_bak.cal")), "protected\r\n");
}

TEST_F(CalibrationPaths, WithoutABackupTheCalibrationIsNotReplaced)
{
  write(path("Quarvel.cal"), "current\r\n");
  fs::remove(path("Quarvel_bak.cal"));
  fs::create_directory(path("Quarvel_bak.cal"));
  const lcr::tfile_result result = save("Quarvel.cal");
  EXPECT_EQ(result.text(), path("Quarvel_bak.cal") + ": E/A-Fehler 21");
  EXPECT_EQ(read(path("Quarvel.cal")), "current\r\n");
  EXPECT_EQ(directory.entries(), (std::vector<std::string>{"Quarvel.cal", "Quarvel_bak.cal"}));
}

// A save killed at any moment (the child does nothing but save) leaves a
// complete file; a temporary left by a kill in the instant between naming
// and renaming is removed by the next save.
TEST_F(CalibrationPaths, KilledSavesLeaveACompleteFileAndNoLastingTemporary)
{
  ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
  const std::string complete = read(path("Quarvel.cal"));
  const std::vector<std::string> clean{"Quarvel.cal", "Quarvel_bak.cal"};
  std::mt19937 generator(7);
  int left_behind = 0;
  for (int kill = 0; kill < 30; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (;;) lcr::cal_save(path("Quarvel.cal"));  // until killed
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200 + generator() % 3000));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(read(path("Quarvel.cal")), complete) << "kill " << kill;
    if (directory.entries() != clean) ++left_behind;
    ASSERT_TRUE(lcr::cal_save(path("Quarvel.cal")).ok);
    EXPECT_EQ(directory.entries(), clean) << "kill " << kill;
  }
  std::cout << "[ figures  ] " << left_behind << " of 30 kills left a temporary until the next save\n";
}

}  // namespace
