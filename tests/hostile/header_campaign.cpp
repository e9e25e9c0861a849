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
//       [--bin DIR] [--as-limit-mb N] [--cpu-seconds 60] [--keep DIR]
#include <cstdint>
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
};

// Seed of one damaged copy: the case, the input and the copy's number.
std::uint64_t seed_of(const std::string& name, const std::string& input, int index) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (const char c : name + ":" + input) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h + static_cast<std::uint64_t>(index);
}

bool is_nc(const std::string& input) { return input.size() > 3 && input.substr(input.size() - 3) == ".nc"; }

// The classic-format copy of a basin input, made once.
const std::string& classic_bytes(const ScratchDir& dir, const std::string& input) {
  static std::map<std::string, std::string> made;
  auto it = made.find(input);
  if (it != made.end()) return it->second;
  const fs::path to = dir / ("classic-" + std::to_string(made.size()) + ".nc");
  const std::string command = "nccopy -k classic '" + (basin() / input).string() + "' '" + to.string() + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
  return made.emplace(input, read_file(to)).first->second;
}

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
  ScratchDir scratch;
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
      const std::string& sound = classic_bytes(scratch, input);
      const std::uint64_t header = classic_header_bytes(sound);
      Tally tally;
      for (int k = opt.first; k < opt.first + opt.count; ++k) {
        const std::string damaged = damage_header(sound, header, seed_of(name, input, k));
        Workspace w(c);
        for (const std::string& other : c.inputs) {
          if (is_nc(other)) write_file(w / other, other == input ? damaged : classic_bytes(scratch, other));
        }
        const Outcome o = w.run(how);
        ++tally.runs;
        ++tally.ends[end_of(o)];
        tally.peak_kb = std::max(tally.peak_kb, o.peak_rss_kb);
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
    else if (key == "--bin") opt.bin = value;
    else if (key == "--as-limit-mb") opt.as_limit_mb = std::stol(value);
    else if (key == "--cpu-seconds") opt.cpu_seconds = std::stol(value);
    else if (key == "--keep") opt.keep = value;
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
