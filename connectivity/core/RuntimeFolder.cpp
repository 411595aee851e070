#include "connectivity/core/RuntimeFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace ado {
namespace {

bool PrivateFolder(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() && (st.st_mode & 077) == 0;
}

}  // namespace

std::string RuntimeFolder() {
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run == '/' && PrivateFolder(std::string(run) + "/tarnwick"))
    return std::string(run) + "/tarnwick";
  const std::string tmp = "/tmp/tarnwick-" + std::to_string(getuid());
  return PrivateFolder(tmp) ? tmp : std::string();
}

}  // namespace ado
