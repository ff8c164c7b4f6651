// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings/settings_file.h"

#include <chrono>
#include <filesystem>
#include <system_error>

#include <unistd.h>

namespace quarvel_ui {

namespace {

namespace fs = std::filesystem;

std::string write_error_message(const std::string& path)
{
  return "nach " + path + " kann nicht geschrieben werden";
}

// What a save says when the file there could not be read first.
std::string unread_file_message(const std::string& path, tini_file::tload_failure failure)
{
  if (failure == tini_file::tload_failure::too_large) {
    return path + " ist größer als 64 MiB und keine Einstellungsdatei; sie bleibt, wie sie ist";
  }
  return write_error_message(path);
}

// An entry of any kind counts, a dangling link too: the operator put it
// there, and it is what the program would read.
bool holds_entry(const fs::path& path)
{
  std::error_code error;
  return fs::exists(fs::symlink_status(path, error));
}

// access() rather than the permission bits: it knows about read-only
// mounts, ACLs and the user's groups.
bool is_writable_directory(const fs::path& directory)
{
  return ::access(directory.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

tsettings_values read_settings_values(const tini_file& ini)
{
  const tsettings_values initial;
  const std::string_view section = settings_section;
  tsettings_values values;
  values.wavedevintext = ini.read_string(section, "wavedevintext", initial.wavedevintext);
  values.wavedevinid = ini.read_integer(section, "wavedevinid", initial.wavedevinid);
  values.wavedevouttext = ini.read_string(section, "wavedevouttext", initial.wavedevouttext);
  values.wavedevoutid = ini.read_integer(section, "wavedevoutid", initial.wavedevoutid);
  values.wavesampleoffset = ini.read_integer(section, "wavesampleoffset", initial.wavesampleoffset);
  values.waveswapchan = ini.read_bool(section, "waveswapchan", initial.waveswapchan);
  values.measmodeindex = ini.read_integer(section, "measmodeindex", initial.measmodeindex);
  values.rrefindex = ini.read_integer(section, "rrefindex", initial.rrefindex);
  values.freqindex = ini.read_integer(section, "freqindex", initial.freqindex);
  values.levelindex = ini.read_integer(section, "levelindex", initial.levelindex);
  values.fftindex = ini.read_integer(section, "fftindex", initial.fftindex);
  values.avgindex = ini.read_integer(section, "avgindex", initial.avgindex);
  return values;
}

void write_settings_values(tini_file& ini, const tsettings_values& values)
{
  const std::string_view section = settings_section;
  if (ini.section_has_keys(section)) ini.erase_section(section);
  ini.write_string(section, "wavedevintext", values.wavedevintext);
  ini.write_integer(section, "wavedevinid", values.wavedevinid);
  ini.write_string(section, "wavedevouttext", values.wavedevouttext);
  ini.write_integer(section, "wavedevoutid", values.wavedevoutid);
  ini.write_integer(section, "wavesampleoffset", values.wavesampleoffset);
  ini.write_bool(section, "waveswapchan", values.waveswapchan);
  ini.write_integer(section, "measmodeindex", values.measmodeindex);
  ini.write_integer(section, "rrefindex", values.rrefindex);
  ini.write_integer(section, "freqindex", values.freqindex);
  ini.write_integer(section, "levelindex", values.levelindex);
  ini.write_integer(section, "fftindex", values.fftindex);
  ini.write_integer(section, "avgindex", values.avgindex);
}

int select_device_entry(const std::vector<std::string>& names, std::string_view stored_text, int stored_index)
{
  if (names.empty()) return -1;
  const int count = static_cast<int>(names.size());
  if (stored_index >= 0 && stored_index < count && !stored_text.empty() &&
      names[static_cast<std::size_t>(stored_index)].find(stored_text) != std::string::npos) {
    return stored_index;
  }
  for (int i = count - 1; i >= 0; --i) {
    if (names[static_cast<std::size_t>(i)] == stored_text) return i;
  }
  return 0;
}

std::string settings_file_path(const std::string& program_directory, const std::string& file_name,
                               const std::string& config_directory, const tprogram_directory_state& state)
{
  const bool beside_program =
      config_directory.empty() || (!state.installed && (state.writable || state.holds_file));
  return (fs::path(beside_program ? program_directory : config_directory) / file_name).string();
}

std::string settings_file_path(const std::string& program_directory, const std::string& file_name,
                               const std::string& config_directory)
{
  const fs::path installation = fs::path(program_directory).parent_path();
  const tprogram_directory_state state{is_writable_directory(program_directory),
                                       holds_entry(fs::path(program_directory) / file_name),
                                       holds_entry(installation / "share" / "applications" / desktop_entry_name)};
  return settings_file_path(program_directory, file_name, config_directory, state);
}

tsettings_values load_settings_values(const std::string& path)
{
  return read_settings_values(tini_file::load(path).value_or(tini_file{}));
}

int remove_stale_save_temporaries(const std::string& path)
{
  const fs::path staging = save_staging_directory(path);
  const auto stale_before = fs::file_time_type::clock::now() - std::chrono::minutes(1);
  std::error_code error;
  int removed = 0;
  for (fs::directory_iterator entry(staging, error), end; !error && entry != end; entry.increment(error)) {
    std::error_code ignored;
    if (!entry->is_regular_file(ignored) || entry->last_write_time(ignored) > stale_before) continue;
    if (fs::remove(entry->path(), ignored)) ++removed;
  }
  fs::remove(staging, error);  // only when empty
  return removed;
}

std::string save_settings_file(const std::string& path, const tini_file& ini)
{
  std::error_code error;
  const fs::path directory = fs::path(path).parent_path();
  if (!directory.empty()) fs::create_directories(directory, error);
  return !error && ini.save(path) ? std::string() : write_error_message(path);
}

tbench_values read_bench_values(const tini_file& ini)
{
  const tbench_values initial;
  tbench_values values;
  values.automode = ini.read_bool(bench_section, "automode", initial.automode);
  values.comparator = ini.read_bool(bench_section, "comparator", initial.comparator);
  values.nominal = ini.read_string(bench_section, "nominal", initial.nominal);
  values.tolerance = ini.read_string(bench_section, "tolerance", initial.tolerance);
  values.simsetup = ini.read_integer(bench_section, "simsetup", initial.simsetup);
  values.simadapter = ini.read_integer(bench_section, "simadapter", initial.simadapter);
  values.simnoise = ini.read_string(bench_section, "simnoise", initial.simnoise);
  values.lskind = ini.read_integer(bench_section, "lskind", initial.lskind);
  values.lsamount = ini.read_string(bench_section, "lsamount", initial.lsamount);
  values.lssd = ini.read_string(bench_section, "lssd", initial.lssd);
  values.lsre = ini.read_string(bench_section, "lsre", initial.lsre);
  values.lstemperature = ini.read_string(bench_section, "lstemperature", initial.lstemperature);
  values.lsinputvrms = ini.read_string(bench_section, "lsinputvrms", initial.lsinputvrms);
  return values;
}

void write_bench_values(tini_file& ini, const tbench_values& values)
{
  ini.erase_section(bench_section);
  ini.write_bool(bench_section, "automode", values.automode);
  ini.write_bool(bench_section, "comparator", values.comparator);
  ini.write_string(bench_section, "nominal", values.nominal);
  ini.write_string(bench_section, "tolerance", values.tolerance);
  ini.write_integer(bench_section, "simsetup", values.simsetup);
  ini.write_integer(bench_section, "simadapter", values.simadapter);
  ini.write_string(bench_section, "simnoise", values.simnoise);
  ini.write_integer(bench_section, "lskind", values.lskind);
  ini.write_string(bench_section, "lsamount", values.lsamount);
  ini.write_string(bench_section, "lssd", values.lssd);
  ini.write_string(bench_section, "lsre", values.lsre);
  ini.write_string(bench_section, "lstemperature", values.lstemperature);
  ini.write_string(bench_section, "lsinputvrms", values.lsinputvrms);
}

tbench_values load_bench_values(const std::string& path)
{
  return read_bench_values(tini_file::load(path).value_or(tini_file{}));
}

std::string save_settings_values(const std::string& path, const tsettings_values& values,
                                 const tbench_values& bench, tlanguage_choice language)
{
  tini_file::tloaded loaded = tini_file::read(path);
  if (!loaded.file) return unread_file_message(path, loaded.failure);
  write_settings_values(*loaded.file, values);
  write_bench_values(*loaded.file, bench);
  write_language_choice(*loaded.file, language);
  return save_settings_file(path, *loaded.file);
}

std::string save_settings_values(const std::string& path, const tsettings_values& values)
{
  tini_file::tloaded loaded = tini_file::read(path);
  if (!loaded.file) return unread_file_message(path, loaded.failure);
  write_settings_values(*loaded.file, values);
  return save_settings_file(path, *loaded.file);
}

}  // namespace quarvel_ui
