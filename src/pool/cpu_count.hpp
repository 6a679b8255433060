// Pieces of the processor-count rule that read text rather than the system,
// so that they can be checked on any machine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex::pool {

// Whole processors a CPU quota allows: floor(quota / period), at least 1.
// No limit (nullopt) when either value is not positive.
std::optional<std::size_t> cpus_from_quota(std::int64_t quota, std::int64_t period);

// The content of a cgroup v2 `cpu.max` file: "max 100000" or "quota period".
std::optional<std::size_t> parse_cpu_max(std::string_view text);

// A decimal integer with optional '-' and surrounding whitespace (cgroup v1
// files such as cpu.cfs_quota_us, where -1 means no quota).
std::optional<std::int64_t> parse_cgroup_integer(std::string_view text);

// The directory of a cgroup inside the mounted hierarchy: the mount point
// joined with the cgroup path made relative to the mount's root. nullopt
// when the cgroup lies outside what is mounted there.
std::optional<std::string> cgroup_directory(std::string_view mount_point,
                                            std::string_view mount_root,
                                            std::string_view cgroup_path);

}  // namespace quorvex::pool
