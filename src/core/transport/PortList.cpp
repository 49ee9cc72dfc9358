#include "core/transport/PortList.h"

namespace corvel {

std::string PortDetailsText(const PortDetails& d) {
  std::string text = d.by_id;
  if (!d.vendor_id.empty() || !d.product_id.empty()) {
    if (!text.empty()) text += "  ";
    text += "USB " + d.vendor_id + ":" + d.product_id;
    if (!d.manufacturer.empty()) text += " " + d.manufacturer;
    if (!d.product.empty()) text += " " + d.product;
    if (!d.serial.empty()) text += ", serial " + d.serial;
  }
  return text;
}

}  // namespace corvel
