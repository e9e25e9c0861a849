#include "tour_support.hpp"

#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace rn::test {
namespace fs = std::filesystem;

const std::vector<ProgramArguments>& programs() {
  static const std::vector<ProgramArguments> list = {
      {"linkweaver",
       {"mapproject", "fulldom_child_f", "fulldom_parent_f", "geo_parent_f", "routinelin_p_f",
        "nhd_map_f", "dxkm", "flowin_out", "order_diff"},
       false},
      {"reachfeed", {"input-file", "output-file"}},
      {"cellfeed", {"input-file", "output-file"}},
      {"flowglobe", {"inFile", "outputFile", "order", "jumpInt", "seg_info.nc", "obsFile"}},
      {"flowglobe_max", {"inFile", "outputFile", "order", "jumpInt", "seg_info.nc", "obsFile"}},
      {"flowglobe_drv1", {"inFile", "outputFile", "order", "interval"}},
      {"flowglobe_seg", {"seg_info.nc", "outputFile", "order", "obsFile"}},
      {"gaugeglobe", {"outputFile", "obsFile"}},
      {"siteseries",
       {"usArea", "latlonType", "startDate", "Hrs", "suffix", "inDir", "pointFile"}},
      {"bedcarve", {"input-file", "output-file"}},
  };
  return list;
}

const fs::path& sample_basin() {
  static const std::unique_ptr<ScratchDir> dir = [] {
    auto d = std::make_unique<ScratchDir>();
    RunResult r = run("samplebasin", {"--preset", "small", "."}, d->path());
    if (r.status != 0) throw std::runtime_error("samplebasin failed: " + r.err);
    r = run("linkweaver", {}, d->path());
    if (r.status != 0) throw std::runtime_error("linkweaver failed: " + r.out + r.err);
    return d;
  }();
  return dir->path();
}

void copy_into(const fs::path& file, const fs::path& dir) {
  fs::copy_file(file, dir / file.filename(), fs::copy_options::overwrite_existing);
}

// A netCDF file in full precision, without the first line of its history
// (the run's own command line, which names its output), and without its name.
std::string content_of(const fs::path& file) {
  std::string dump = ncdump(file, "-p 9,17");
  dump.erase(0, dump.find('\n'));
  const std::size_t at = dump.find(":history = \"");
  if (at != std::string::npos) dump.erase(at, dump.find_first_of("\\\"", at + 13) - at);
  return dump;
}

std::string difference(const fs::path& a, const fs::path& b) {
  if (!fs::exists(a) || !fs::exists(b)) return (fs::exists(a) ? b : a).string() + " is missing";
  if (read_file(a) == read_file(b)) return {};
  if (a.extension() == ".nc") {
    if (content_of(a) == content_of(b)) return {};
    return "--- " + a.string() + "\n" + ncdump(a) + "--- " + b.string() + "\n" + ncdump(b);
  }
  return a.string() + " and " + b.string() + " differ";
}

RunResult run_with_programs(const std::vector<std::string>& command, const fs::path& cwd,
                            const std::vector<std::string>& extra_env) {
  const char* path = std::getenv("PATH");
  std::vector<std::string> env_args = {"PATH=" + bin_dir().string() + ":" + (path ? path : "/usr/bin:/bin")};
  env_args.insert(env_args.end(), extra_env.begin(), extra_env.end());
  env_args.insert(env_args.end(), command.begin(), command.end());
  return run("/usr/bin/env", env_args, cwd);
}

RunResult run_script(const std::string& script, const std::vector<std::string>& args,
                     const fs::path& cwd, const std::vector<std::string>& extra_env) {
  std::vector<std::string> command = {"bash", (source_dir() / script).string()};
  command.insert(command.end(), args.begin(), args.end());
  return run_with_programs(command, cwd, extra_env);
}

}  // namespace rn::test
