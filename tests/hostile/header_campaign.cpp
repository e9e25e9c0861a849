// damaged_header_campaign: every program on copies of its netCDF inputs in
// the classic format with random header bytes changed, the way a damaged
// disk block or a careless edit changes them.  For each program case and
// each of its netCDF inputs (converted with `nccopy -k classic`, as are the
// case's other netCDF inputs), `--count` damaged copies are made from fixed
// seeds and the program is run once on each.  Prints, per input, how the
// runs ended; lists every run that did not end cleanly (a signal, a
// sanitizer report, more than 1 GiB resident, a partial or changed output,
// a refusal without status 1 or without the file's name) and keeps those
// files in `--keep`.  Exit status 1 when any run did not end cleanly.
//
//   damaged_header_campaign [--count 120] [--first 0] [--cases a,b,...]
//       [--bin DIR] [--as-limit-mb N] [--cpu-seconds 60] [--keep DIR] [--list 1]
#include <cstdint>
#include <filesystem>
#include <cstdlib>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hostile_support.hpp"
#include "nc_damage.hpp"

namespace rn::test::hostile {
namespace {

struct Options {
  int count = 120;
  int first = 0;
  std::vector<std::string> cases;
  fs::path bin;
  long as_limit_mb = -1;
  long cpu_seconds = 60;
  fs::path keep;
  bool list = false;
};

bool is_nc(const std::string& input) { return input.size() > 3 && input.substr(input.size() - 3) == ".nc"; }

struct Tally {
  std::map<std::string, int> ends;  // "status 0", "refused", "signal 8", ...
  int runs = 0;
  int faults = 0;
  long peak_kb = 0;
};

// What was wrong with a run, or empty.
std::string fault_of(const Workspace& w, const Outcome& o, const std::string& input) {
  const RunResult& r = o.result;
  std::string faults;
  if (r.status > 128 && r.status <= 128 + 64) faults.append(" signal ").append(std::to_string(r.status - 128)).append(";");
  // 126 and 127: the shell could not run the program (a wrong --bin).
  if (r.status == 126 || r.status == 127) faults += " program not run;";
  if (has_sanitizer_report(r.err)) faults += " sanitizer report;";
  if (o.peak_rss_kb > (1L << 20)) faults.append(" ").append(std::to_string(o.peak_rss_kb >> 10)).append(" MB resident;");
  const bool refused = r.err.find(" refused: ") != std::string::npos;
  if (refused && (r.status != 1 || r.err.find(fs::path(input).filename().string()) == std::string::npos)) {
    faults += " refusal without status 1 or the file's name;";
  }
  if (r.status != 0) {
    for (const std::string& n : o.after) {
      if (o.before.count(n) != 0) continue;
      bool side = false;
      for (const std::string& f : w.run_case().side_files) {
        side = side || n == (fs::path(w.run_case().cwd) / f).lexically_normal().string();
      }
      if (!side) faults.append(" left ").append(n).append(";");
    }
    if (w.run_case().old_output && read_file(w / w.run_case().output) != kOldOutput) {
      faults += " output changed;";
    }
  }
  return faults;
}

std::string end_of(const Outcome& o) {
  const RunResult& r = o.result;
  if (r.status > 128 && r.status <= 128 + 64) return "signal " + std::to_string(r.status - 128);
  if (r.err.find(" refused: ") != std::string::npos) return "refused (status " + std::to_string(r.status) + ")";
  if (r.out.find("out of memory") != std::string::npos || r.err.find("out of memory") != std::string::npos ||
      r.out.find("Memory allocation") != std::string::npos) {
    return "out of memory (status " + std::to_string(r.status) + ")";
  }
  return "status " + std::to_string(r.status);
}

int run_campaign(const Options& opt) {
  Launch how;
  how.bin = opt.bin;
  how.cpu_seconds_limit = opt.cpu_seconds;
  if (opt.as_limit_mb > 0) how.address_space_limit = opt.as_limit_mb << 20;
  if (!opt.keep.empty()) fs::create_directories(opt.keep);

  int faults = 0;
  for (const std::string& name : netcdf_case_names()) {
    if (!opt.cases.empty() && std::find(opt.cases.begin(), opt.cases.end(), name) == opt.cases.end()) continue;
    const ProgramCase& c = program_case(name);
    for (const std::string& input : c.inputs) {
      if (!is_nc(input)) continue;
      const std::uint64_t header = classic_header_bytes(classic_basin_input(input));
      Tally tally;
      for (int k = opt.first; k < opt.first + opt.count; ++k) {
        const std::string damaged = damaged_header_copy(name, input, k);
        Workspace w(c);
        place_classic_inputs(w, input, damaged);
        const Outcome o = w.run(how);
        ++tally.runs;
        ++tally.ends[end_of(o)];
        tally.peak_kb = std::max(tally.peak_kb, o.peak_rss_kb);
        if (opt.list) {
          const std::string& err = o.result.err;
          const auto at = err.find(" refused: ");
          std::cout << name << " " << input << " #" << k << " " << end_of(o) << " "
                    << (at == std::string::npos ? "" : err.substr(at + 10, err.find('\n', at) - at - 10)) << "\n";
        }
        const std::string fault = fault_of(w, o, input);
        if (fault.empty()) continue;
        ++tally.faults;
        std::cout << "FAULT " << name << " " << input << " #" << k << ":" << fault << "\n";
        if (!opt.keep.empty()) {
          std::string flat = input;
          std::replace(flat.begin(), flat.end(), '/', '_');
          write_file(opt.keep / (name + "__" + flat + "__" + std::to_string(k) + ".nc"), damaged);
        }
      }
      std::cout << name << "\t" << input << "\t" << tally.runs << " runs, header " << header
                << " bytes, peak " << (tally.peak_kb >> 10) << " MB:";
      for (const auto& [end, n] : tally.ends) std::cout << "  " << end << " x" << n;
      std::cout << (tally.faults != 0 ? "  FAULTS " + std::to_string(tally.faults) : "") << std::endl;
      faults += tally.faults;
    }
  }
  std::cout << (faults == 0 ? "every run ended cleanly" : std::to_string(faults) + " runs did not end cleanly")
            << std::endl;
  return faults == 0 ? 0 : 1;
}

}  // namespace
}  // namespace rn::test::hostile

int main(int argc, char** argv) {
  rn::test::hostile::Options opt;
  for (int k = 1; k + 1 < argc; k += 2) {
    const std::string key = argv[k];
    const std::string value = argv[k + 1];
    if (key == "--count") opt.count = std::stoi(value);
    else if (key == "--first") opt.first = std::stoi(value);
    else if (key == "--bin") opt.bin = std::filesystem::absolute(value).string();  // runs start in their own folders
    else if (key == "--as-limit-mb") opt.as_limit_mb = std::stol(value);
    else if (key == "--cpu-seconds") opt.cpu_seconds = std::stol(value);
    else if (key == "--keep") opt.keep = value;
    else if (key == "--list") opt.list = value == "1";
    else if (key == "--cases") {
      std::istringstream items(value);
      for (std::string item; std::getline(items, item, ',');) opt.cases.push_back(item);
    } else {
      std::cerr << "unknown option " << key << "\n";
      return 2;
    }
  }
  try {
    return rn::test::hostile::run_campaign(opt);
  } catch (const std::exception& e) {
    std::cerr << "damaged_header_campaign: " << e.what() << "\n";
    return 2;
  }
}
