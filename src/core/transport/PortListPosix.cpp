#include <algorithm>
#include <filesystem>
#include <system_error>

#include "core/base/FileUtil.h"
#include "core/transport/PortList.h"

namespace corvel {

namespace {

namespace fs = std::filesystem;

// A sysfs attribute's first line; "" when it is missing.
std::string Attribute(const fs::path& folder, const char* name) {
  auto text = ReadWholeFile((folder / name).string(), 4096);
  if (!text) return "";
  const auto end = text->find_first_of("\r\n");
  return end == std::string::npos ? *text : text->substr(0, end);
}

bool IsUsbSerialName(const std::string& name) { return name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0; }

// The USB device above a tty: the first folder up from its device link that
// has an idVendor (the interface's parent for ttyUSB and ttyACM alike).
void ReadUsbDetails(const fs::path& tty_folder, const fs::path& root, PortDetails& details) {
  std::error_code error;
  fs::path at = fs::canonical(tty_folder / "device", error);
  if (error) return;
  const fs::path stop = fs::weakly_canonical(root / "sys", error);
  for (int level = 0; level < 6 && !at.empty() && at != at.root_path(); ++level, at = at.parent_path()) {
    if (at == stop) break;
    if (!fs::exists(at / "idVendor", error)) continue;
    details.vendor_id = Attribute(at, "idVendor");
    details.product_id = Attribute(at, "idProduct");
    details.manufacturer = Attribute(at, "manufacturer");
    details.product = Attribute(at, "product");
    details.serial = Attribute(at, "serial");
    return;
  }
}

}  // namespace

std::vector<PortDetails> ListPortDetails(const std::string& root_text) {
  const fs::path root(root_text);
  std::vector<PortDetails> ports;
  std::error_code error;
  for (fs::directory_iterator it(root / "sys/class/tty", error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!IsUsbSerialName(name)) continue;
    PortDetails details;
    details.device = "/dev/" + name;
    ReadUsbDetails(it->path(), root, details);
    ports.push_back(std::move(details));
  }
  std::sort(ports.begin(), ports.end(), [](const PortDetails& a, const PortDetails& b) { return a.device < b.device; });

  // The by-id links name their tty relative to themselves ("../../ttyUSB0").
  std::vector<fs::path> links;
  error.clear();
  for (fs::directory_iterator it(root / "dev/serial/by-id", error), end; !error && it != end; it.increment(error)) {
    links.push_back(it->path());
  }
  std::sort(links.begin(), links.end());
  for (const fs::path& link : links) {
    std::error_code link_error;
    const fs::path target = fs::read_symlink(link, link_error);
    if (link_error) continue;
    const std::string device = "/dev/" + target.filename().string();
    for (PortDetails& details : ports) {
      if (details.device == device && details.by_id.empty()) details.by_id = "/dev/serial/by-id/" + link.filename().string();
    }
  }
  return ports;
}

}  // namespace corvel
