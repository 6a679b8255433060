// The default thread count: processors this process may run on, lowered to
// the CPU quota of its control group.
#include "pool/cpu_count.hpp"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "pool/pool.hpp"

namespace quorvex::pool {
namespace {

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r\n");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t\r\n");
  return text.substr(first, last - first + 1);
}

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const auto end = text.find(separator, start);
    parts.push_back(text.substr(start, end - start));
    if (end == std::string_view::npos) return parts;
    start = end + 1;
  }
}

std::optional<std::string> read_file(const std::string& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> read_lines(const std::string& path) {
  std::vector<std::string> lines;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) lines.push_back(std::move(line));
  return lines;
}

bool has_element(std::string_view comma_list, std::string_view name) {
  const auto items = split(comma_list, ',');
  return std::find(items.begin(), items.end(), name) != items.end();
}

std::optional<std::size_t> affinity_cpus() {
  // Start with room for 1024 processors and grow while the kernel says the
  // set is too small.
  for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* set = CPU_ALLOC(cpus);
    if (set == nullptr) return std::nullopt;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(size, set);
    if (sched_getaffinity(0, size, set) == 0) {
      const int count = CPU_COUNT_S(size, set);
      CPU_FREE(set);
      return count > 0 ? std::optional<std::size_t>(count) : std::nullopt;
    }
    CPU_FREE(set);
    if (errno != EINVAL) return std::nullopt;
  }
  return std::nullopt;
}

// A quota in one cgroup directory, v2 or v1 layout.
std::optional<std::size_t> quota_in(const std::string& dir, bool v2) {
  if (v2) {
    const auto text = read_file(dir + "/cpu.max");
    return text ? parse_cpu_max(*text) : std::nullopt;
  }
  const auto quota = read_file(dir + "/cpu.cfs_quota_us");
  const auto period = read_file(dir + "/cpu.cfs_period_us");
  if (!quota || !period) return std::nullopt;
  const auto q = parse_cgroup_integer(*quota);
  const auto p = parse_cgroup_integer(*period);
  return q && p ? cpus_from_quota(*q, *p) : std::nullopt;
}

// The tightest quota from the process's cgroup up to the hierarchy's root:
// a parent's limit applies to all its children.
std::optional<std::size_t> tightest_quota(const std::string& mount_point, std::string dir,
                                          bool v2) {
  std::optional<std::size_t> limit;
  for (;;) {
    if (const auto q = quota_in(dir, v2)) limit = limit ? std::min(*limit, *q) : *q;
    if (dir.size() <= mount_point.size()) return limit;
    dir.erase(dir.rfind('/'));
  }
}

std::optional<std::size_t> cgroup_cpu_limit() {
  std::optional<std::string> v2_path;
  std::optional<std::string> v1_path;
  for (const auto& line : read_lines("/proc/self/cgroup")) {
    // "hierarchy-id:controller-list:path"
    const auto first = line.find(':');
    const auto second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string_view view(line);
    const auto id = view.substr(0, first);
    const auto controllers = view.substr(first + 1, second - first - 1);
    const auto path = view.substr(second + 1);
    if (id == "0" && controllers.empty()) {
      v2_path = std::string(path);
    } else if (has_element(controllers, "cpu")) {
      v1_path = std::string(path);
    }
  }
  if (!v1_path && !v2_path) return std::nullopt;

  std::optional<std::size_t> limit;
  for (const auto& line : read_lines("/proc/self/mountinfo")) {
    // "id parent major:minor root mount-point options [optional...] - type source super-options"
    std::istringstream fields(line);
    std::vector<std::string> words;
    for (std::string w; fields >> w;) words.push_back(std::move(w));
    const auto dash = std::find(words.begin(), words.end(), "-");
    if (words.size() < 5 || dash == words.end() || std::distance(dash, words.end()) < 4) {
      continue;
    }
    const std::string& type = *(dash + 1);
    const std::string& super_options = *(dash + 3);
    const bool v2 = type == "cgroup2" && v2_path;
    const bool v1 = type == "cgroup" && v1_path && has_element(super_options, "cpu");
    if (!v1 && !v2) continue;
    const auto dir = cgroup_directory(words[4], words[3], v2 ? *v2_path : *v1_path);
    if (!dir) continue;
    if (const auto q = tightest_quota(words[4], *dir, v2)) {
      limit = limit ? std::min(*limit, *q) : *q;
    }
  }
  return limit;
}

}  // namespace

std::optional<std::size_t> cpus_from_quota(std::int64_t quota, std::int64_t period) {
  if (quota <= 0 || period <= 0) return std::nullopt;
  return std::max<std::size_t>(static_cast<std::size_t>(quota / period), 1);
}

std::optional<std::int64_t> parse_cgroup_integer(std::string_view text) {
  text = trim(text);
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::size_t> parse_cpu_max(std::string_view text) {
  text = trim(text);
  const auto space = text.find(' ');
  if (space == std::string_view::npos) return std::nullopt;
  const auto quota_text = text.substr(0, space);
  if (quota_text == "max") return std::nullopt;
  const auto quota = parse_cgroup_integer(quota_text);
  const auto period = parse_cgroup_integer(text.substr(space + 1));
  return quota && period ? cpus_from_quota(*quota, *period) : std::nullopt;
}

std::optional<std::string> cgroup_directory(std::string_view mount_point,
                                            std::string_view mount_root,
                                            std::string_view cgroup_path) {
  if (mount_root == "/") mount_root = {};
  if (cgroup_path.substr(0, mount_root.size()) != mount_root) return std::nullopt;
  std::string_view relative = cgroup_path.substr(mount_root.size());
  // "/a" must not match a root of "/ab".
  if (!relative.empty() && relative.front() != '/') return std::nullopt;
  while (!relative.empty() && relative.back() == '/') relative.remove_suffix(1);
  std::string dir(mount_point);
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  dir += relative;
  return dir;
}

std::size_t default_thread_count() {
  std::size_t count = 0;
  if (const auto cpus = affinity_cpus()) {
    count = *cpus;
  } else if (const long online = sysconf(_SC_NPROCESSORS_ONLN); online > 0) {
    count = static_cast<std::size_t>(online);
  } else {
    return 1;
  }
  if (const auto limit = cgroup_cpu_limit()) count = std::min(count, *limit);
  return std::max<std::size_t>(count, 1);
}

}  // namespace quorvex::pool
