// The About box.
#include "bridge/text.h"
#include "control/product.h"
#include "control/zeloggplay.h"

namespace control {

void ShowAboutBox() {
  const std::string text = std::string(product::AppTitle) + "\r\n" + product::WebSite + "\r\n" + product::SupportEmail;
  MessageBoxA(nullptr, text.c_str(), product::AppTitle, MB_OK | MB_TASKMODAL);
}

}  // namespace control
