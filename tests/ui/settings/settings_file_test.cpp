// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: what a missing, hand-edited or foreign file reads as,
// that a save replaces only its own section, how a stored device is found
// again in changed device lists, and where the file lives.

#include "ui/settings/settings_file.h"
#include "support/file_text.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <utility>

#include <sys/stat.h>
#include <unistd.h>

namespace quarvel_ui {

void PrintTo(const tsettings_values& v, std::ostream* out)
{
  *out << "{\"" << v.wavedevintext << "\", " << v.wavedevinid << ", \"" << v.wavedevouttext << "\", "
       << v.wavedevoutid << ", " << v.wavesampleoffset << ", " << v.waveswapchan << ", " << v.measmodeindex
       << ", " << v.rrefindex << ", " << v.freqindex << ", " << v.levelindex << ", " << v.fftindex << ", "
       << v.avgindex << "}";
}

}  // namespace quarvel_ui

namespace {

namespace fs = std::filesystem;
using quarvel_ui::tini_file;
using quarvel_ui::tsettings_values;

tsettings_values values_of(const std::string& text)
{
  return quarvel_ui::read_settings_values(tini_file(text));
}

std::string unwritable_message(const std::string& path)
{
  return "nach " + path + " kann nicht geschrieben werden";
}

// ---- Reading: what any file reads as

TEST(SettingsFileReading, NoFileGivesTheDefaults)
{
  const quarvel_test::temporary_directory directory;
  const tsettings_values values = quarvel_ui::load_settings_values(directory.path() + "/Quarvel.ini");
  // Sample offset "0", not "-1"; "Frequenz" item 0 ("100"), not the design default "1 k".
  EXPECT_EQ(values, (tsettings_values{"", 0, "", 0, 1, false, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(quarvel_ui::select_device_entry({"A", "B"}, values.wavedevintext, values.wavedevinid), 0);
}

TEST(SettingsFileReading, NumbersComeBackAsWrittenInAnyForm)
{
  const tsettings_values values = values_of(
      "[options]\nrrefindex=9\nlevelindex=-5\nmeasmodeindex=14\nwaveswapchan=7\nfreqindex=0x2\n"
      "fftindex=$1F\navgindex=0X10\nwavedevinid=zwei\nwavesampleoffset=\n");
  // 9 and -5 as read (clamping is the option group's business), 7 as true, hexadecimal in three
  // forms, and the defaults for "zwei" and for an empty value.
  EXPECT_EQ(values, (tsettings_values{"", 0, "", 0, 1, true, 14, 9, 2, -5, 31, 16}));
}

TEST(SettingsFileReading, OnlyWholeNumbersInRangeRead)
{
  const auto read = [](const std::string& value) {
    return tini_file("[s]\nkey = " + value + " \n").read_integer("s", "key", 42);
  };
  const std::pair<const char*, std::int32_t> valid[] = {
      {"+7", 7}, {"-2147483648", INT32_MIN}, {"2147483647", INT32_MAX}, {"0x7fffffff", INT32_MAX}};
  for (const auto& [value, expected] : valid) EXPECT_EQ(read(value), expected) << value;
  for (const char* invalid : {"2147483648", "-2147483649", "0x80000000", "$", "0x", "-0x5", "0x-5", "+-5",
                              "1.5", "12abc", "1 2", "0x1G"}) {
    EXPECT_EQ(read(invalid), 42) << invalid;
  }
}

TEST(SettingsFileReading, LfAndCrLfFilesReadAlike)
{
  const std::string lf =
      "; Quarvel\n[Other]\nwavedevintext=wrong\n"
      "[ OPTIONS ]\n  WaveDevInText =  USB Audio CODEC  \nfreqindex=3";
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  for (const std::string& text : {lf, lf + "\n", crlf, crlf + "\r\n"}) {
    const tsettings_values values = values_of(text);
    EXPECT_EQ(values.wavedevintext, "USB Audio CODEC") << text;
    EXPECT_EQ(values.freqindex, 3) << text;
    EXPECT_EQ(tini_file(text).text(), crlf + "\r\n");
  }
}

TEST(SettingsFileReading, ATextIsCutBefore2048BytesAndNeverInsideACharacter)
{
  const std::string head(2046, 'a');
  EXPECT_EQ(tini_file("[s]\nk=" + head + "bc\n").read_string("s", "k", ""), head + "b");
  EXPECT_EQ(tini_file("[s]\nk=" + head + "\xC3\xA4\n").read_string("s", "k", ""), head);
}

// ---- Writing: only the section `options` changes

TEST(SettingsFileWriting, ReplacesItsSectionAndKeepsEveryOtherLine)
{
  const std::string others = "; notes\r\n[window]\r\n  Left = 10 \r\n# no key\r\nloose text\r\n\r\n";
  tini_file ini(others + "[options]\r\nfreqindex=5\r\nlegacykey=1\r\n[mixer]\r\nvolume=$FF\r\n");
  quarvel_ui::write_settings_values(ini, {"Mikrofon (USB)", -1, "", 0, 1, true, 13, 0, 0, 0, 0, 2});
  EXPECT_EQ(ini.text(), others +
                            "[mixer]\r\nvolume=$FF\r\n[options]\r\nwavedevintext=Mikrofon (USB)\r\n"
                            "wavedevinid=-1\r\nwavedevouttext=\r\nwavedevoutid=0\r\nwavesampleoffset=1\r\n"
                            "waveswapchan=1\r\nmeasmodeindex=13\r\nrrefindex=0\r\nfreqindex=0\r\n"
                            "levelindex=0\r\nfftindex=0\r\navgindex=2\r\n");
}

TEST(SettingsFileWriting, AKeyGoesAfterTheLastKeyOfItsSection)
{
  tini_file ini("[a]\r\nx=1\r\n\r\n; about b\r\n[b]\r\n");
  ini.write_integer("a", "y", 2);
  ini.write_string("A", "X", "neu");
  ini.write_bool("c", "z", true);
  EXPECT_EQ(ini.text(), "[a]\r\nX=neu\r\ny=2\r\n\r\n; about b\r\n[b]\r\n[c]\r\nz=1\r\n");
}

TEST(SettingsFileWriting, AWrittenFileReadsBackTheSameValues)
{
  const quarvel_test::temporary_directory directory;
  const std::string path = directory.path() + "/config/Quarvel/Quarvel.ini";  // created by the save
  const tsettings_values values{
      "Mikrofon (Realtek® Audio)", 2, "Lautsprecher", 1, 0, true, 13, 5, 7, 6, 3, 4};
  ASSERT_EQ(quarvel_ui::save_settings_values(path, values), "");
  EXPECT_EQ(quarvel_ui::load_settings_values(path), values);
}

// ---- Saving where it cannot be done

TEST(SettingsFileSaving, AnUnwritablePathGivesTheMessageWithTheFullPath)
{
  const quarvel_test::temporary_directory directory;
  quarvel_test::write_file(directory.path() + "/plain", "a file where a folder would have to be");
  const std::string path = directory.path() + "/plain/Quarvel.ini";
  EXPECT_EQ(quarvel_ui::save_settings_file(path, tini_file("[options]\nfreqindex=1\n")),
            unwritable_message(path));
}

TEST(SettingsFileSaving, APipeOrAProtectedFileIsNeitherReadNorReplaced)
{
  const quarvel_test::temporary_directory directory;
  const std::string pipe = directory.path() + "/pipe.ini";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(tini_file::load(pipe).has_value());  // returns at once: nobody writes to it
  EXPECT_EQ(quarvel_ui::save_settings_values(pipe, {}), unwritable_message(pipe));
  EXPECT_TRUE(fs::is_fifo(pipe));

  const std::string guarded = directory.path() + "/Quarvel.ini";
  quarvel_test::write_file(guarded, "[options]\nfreqindex=3\n");
  fs::permissions(guarded, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_EQ(quarvel_ui::save_settings_values(guarded, {}), unwritable_message(guarded));
  EXPECT_EQ(quarvel_test::read_file(guarded), "[options]\nfreqindex=3\n");
}

// A settings file of any size the format allows is read and kept; one far
// beyond any settings file is left alone, and the message says why.
TEST(SettingsFileSaving, ALargeFileIsReadAndATooLargeOneIsSaidSo)
{
  const quarvel_test::temporary_directory directory;
  const std::string large = directory.path() + "/Quarvel.ini";
  const std::string remarks = "; " + std::string(2 << 20, 'x') + "\r\n";
  quarvel_test::write_file(large, remarks + "[options]\r\nfreqindex=5\r\n");
  EXPECT_EQ(quarvel_ui::load_settings_values(large).freqindex, 5);
  tsettings_values values;
  values.freqindex = 2;
  EXPECT_EQ(quarvel_ui::save_settings_values(large, values), "");
  EXPECT_EQ(quarvel_ui::load_settings_values(large).freqindex, 2);
  EXPECT_EQ(quarvel_test::read_file(large).substr(0, remarks.size()), remarks);  // the owner's remarks stay

  const std::string huge = directory.path() + "/huge.ini";
  quarvel_test::write_file(huge, "[options]\nfreqindex=4\n");
  fs::resize_file(huge, tini_file::max_file_bytes + 1);  // sparse: quick to make
  EXPECT_EQ(quarvel_ui::save_settings_values(huge, {}),
            huge + " ist größer als 64 MiB und keine Einstellungsdatei; sie bleibt, wie sie ist");
  EXPECT_EQ(fs::file_size(huge), tini_file::max_file_bytes + 1);
}

// Saved by root, another user's file (also behind a link) stays theirs,
// with its permission bits, as the calibration file does.
TEST(SettingsFileSaving, AnotherUsersFileKeepsItsOwnerAndMode)
{
  if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file to another user";
  const quarvel_test::temporary_directory directory;
  const std::string target = directory.path() + "/theirs.ini";
  const std::string link = directory.path() + "/Quarvel.ini";
  quarvel_test::write_file(target, "[options]\nfreqindex=3\n");
  ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  fs::create_symlink(target, link);
  for (const std::string& path : {target, link}) {
    EXPECT_EQ(quarvel_ui::save_settings_values(path, {}), "") << path;
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 65534u) << path;
    EXPECT_EQ(status.st_gid, 65534u) << path;
    EXPECT_EQ(status.st_mode & 07777, 0640u) << path;
  }
  EXPECT_TRUE(fs::is_symlink(link));
}

// ---- Where the file lives

TEST(SettingsFileLocation, BesideTheProgramUnlessItsDirectoryIsProtectedAndHasNone)
{
  const struct {
    bool writable;
    bool holds_file;
    const char* config;
    const char* expected;
  } cases[] = {{true, false, "/home/op/.config/Quarvel", "/opt/quarvel/Quarvel.ini"},
               {false, true, "/home/op/.config/Quarvel", "/opt/quarvel/Quarvel.ini"},
               {false, false, "/home/op/.config/Quarvel", "/home/op/.config/Quarvel/Quarvel.ini"},
               {false, false, "", "/opt/quarvel/Quarvel.ini"}};
  for (const auto& c : cases) {
    EXPECT_EQ(
        quarvel_ui::settings_file_path("/opt/quarvel", "Quarvel.ini", c.config, {c.writable, c.holds_file}),
        c.expected)
        << "writable " << c.writable << ", holds file " << c.holds_file << ", config \"" << c.config << "\"";
  }
}

TEST(SettingsFileLocation, AReadOnlyProgramDirectoryOnDisk)
{
  if (::geteuid() == 0) GTEST_SKIP() << "root may write into a directory of mode 0555";
  const quarvel_test::temporary_directory directory;
  const std::string program = directory.path() + "/bin";
  const std::string config = directory.path() + "/config";
  fs::create_directory(program);
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", config), program + "/Quarvel.ini");
  ::chmod(program.c_str(), 0555);
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", config), config + "/Quarvel.ini");
  ::chmod(program.c_str(), 0755);
  quarvel_test::write_file(program + "/Quarvel.ini", "");
  ::chmod(program.c_str(), 0555);
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", config), program + "/Quarvel.ini");
  ::chmod(program.c_str(), 0755);  // so that the directory can be removed
}

// An installed program (its desktop entry in ../share/applications) keeps
// its settings in the user's folder even where it could write beside
// itself, as root can into /usr/bin.
TEST(SettingsFileLocation, AnInstalledProgramNeverWritesBesideItself)
{
  const quarvel_test::temporary_directory directory;
  const std::string program = directory.path() + "/usr/bin";
  const std::string config = directory.path() + "/config";
  fs::create_directories(program);
  quarvel_test::write_file(program + "/Quarvel.ini", "");  // left there by an earlier build
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", config), program + "/Quarvel.ini");
  fs::create_directories(directory.path() + "/usr/share/applications");
  quarvel_test::write_file(directory.path() + "/usr/share/applications/" + quarvel_ui::desktop_entry_name, "");
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", config), config + "/Quarvel.ini");
  EXPECT_EQ(quarvel_ui::settings_file_path(program, "Quarvel.ini", ""), program + "/Quarvel.ini");  // no home
}

// ---- Finding the stored device in the current lists

// A save writes in a folder of the program's own and renames the whole new
// file over the old: nothing is left beside the file, and what a kill
// leaves in that folder (QSaveFile's "Quarvel.ini.XXXXXX", a renamed file
// not yet moved) the next start removes once it is a minute old. The
// operator's own files beside it are never touched.
TEST(SettingsFileTemporaries, SavesLeaveNothingAndStaleOnesGoAtTheStart)
{
  quarvel_test::temporary_directory directory;
  const std::string path = directory.path() + "/Quarvel.ini";
  quarvel_test::write_file(directory.path() + "/Quarvel.ini.240101", "[options]\r\n");
  quarvel_test::write_file(directory.path() + "/Quarvel.ini.aB3xYz", "[options]\r\n");
  ASSERT_EQ(quarvel_ui::save_settings_file(path, tini_file("[options]\nfreqindex=3\n")), "");
  const std::vector<std::string> saved{"Quarvel.ini", "Quarvel.ini.240101", "Quarvel.ini.aB3xYz"};
  EXPECT_EQ(directory.entries(), saved);
  EXPECT_EQ(quarvel_test::read_file(path), "[options]\r\nfreqindex=3\r\n");

  const std::string staging = quarvel_ui::save_staging_directory(path);
  fs::create_directory(staging);
  const auto left = [&](const std::string& name, std::chrono::minutes age) {
    quarvel_test::write_file(staging + "/" + name, "[options]\r\n");
    fs::last_write_time(staging + "/" + name, fs::file_time_type::clock::now() - age);
  };
  left("Quarvel.ini.Qw7Er1", std::chrono::minutes(5));  // killed mid-save
  left("Quarvel.ini", std::chrono::minutes(5));          // killed before the rename
  left("Quarvel.ini.Zz9Yy8", std::chrono::minutes(0));   // another instance's, under way
  EXPECT_EQ(quarvel_ui::remove_stale_save_temporaries(path), 2);
  EXPECT_TRUE(fs::exists(staging + "/Quarvel.ini.Zz9Yy8"));
  fs::remove(staging + "/Quarvel.ini.Zz9Yy8");
  EXPECT_EQ(quarvel_ui::remove_stale_save_temporaries(path), 0);
  EXPECT_EQ(directory.entries(), saved);  // the folder gone once empty, the operator's files kept
}

TEST(DeviceEntrySelection, FollowsTheDeviceByPositionThenByName)
{
  const std::vector<std::string> names = {"Line In (Realtek Audio)", "Mikrofon", "Line In", "", "Line In"};
  const struct {
    const char* what;
    std::string stored_text;
    int stored_index;
    int expected;
  } cases[] = {{"first pass: part of the name at the stored index", "Realtek", 0, 0},
               {"first pass before an exact name elsewhere", "Line In", 0, 0},
               {"second pass: the device moved", "Mikrofon", 2, 1},
               {"second pass: the later of two exact names", "Line In", 1, 4},
               {"second pass after an index beyond the list", "Mikrofon", 5, 1},
               {"second pass after a negative index", "Mikrofon", -1, 1},
               {"no match: entry 0", "USB Audio", 1, 0},
               {"case matters", "mikrofon", 1, 0},
               {"empty text: never the first pass, only an empty name", "", 1, 3}};
  for (const auto& c : cases) {
    EXPECT_EQ(quarvel_ui::select_device_entry(names, c.stored_text, c.stored_index), c.expected) << c.what;
  }
  EXPECT_EQ(quarvel_ui::select_device_entry({"Mikrofon"}, "", 0), 0) << "empty text, no empty name";
  EXPECT_EQ(quarvel_ui::select_device_entry({}, "Mikrofon", 0), -1) << "empty list";
}

}  // namespace
