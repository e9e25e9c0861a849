// A one-node Slurm cluster of a test's own, to run the job-array recipes as a
// cluster runs them.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace rn::test {

/// munged, slurmctld and slurmd started in the foreground as children of the
/// test, with their configuration, munge key and socket, state, spool and
/// logs in a folder of the test's and free loopback ports: nothing of the
/// machine's own Slurm or munge set-up is read or touched.  The daemons die
/// with the test process even when it crashes; the destructor cancels the
/// jobs it submitted and stops the daemons.
class SlurmCluster {
 public:
  /// Why no cluster can be started here ("" when one can): not root, or a
  /// program of Debian's slurm-wlm or munge missing.
  static std::string unavailable();

  /// Starts the daemons in `dir` (created; made traversable by all, as
  /// munge needs) and waits, at most 30 s, until the node takes jobs.
  explicit SlurmCluster(const std::filesystem::path& dir);
  ~SlurmCluster();
  SlurmCluster(const SlurmCluster&) = delete;
  SlurmCluster& operator=(const SlurmCluster&) = delete;

  /// "" when the node is up, else what failed, with the daemons' logs.
  const std::string& failure() const { return failure_; }

  /// Submits `script args...` from folder `cwd` as array tasks 0 to
  /// `last_task`, with the built programs first on PATH; the job id, or ""
  /// with the reason in failure().
  std::string submit_array(const std::filesystem::path& script, int last_task,
                           const std::vector<std::string>& args, const std::filesystem::path& cwd);

  /// Waits, at most `limit`, until the jobs have left the queue.  "" when
  /// every task of them completed with status 0, else the tasks' states and
  /// exit codes and the daemons' logs.
  std::string wait(const std::vector<std::string>& jobs, std::chrono::seconds limit);

 private:
  std::string client(const std::vector<std::string>& command, const std::filesystem::path& cwd,
                     int* status = nullptr) const;
  void start_daemons();
  void start(const std::string& name, const std::vector<std::string>& argv);
  bool wait_until_up();
  std::string logs() const;
  void stop();

  std::filesystem::path dir_;
  std::string failure_;
  std::vector<std::pair<std::string, pid_t>> daemons_;
  std::vector<std::string> jobs_;
};

}  // namespace rn::test
