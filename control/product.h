// The product's names and the maker's addresses, as the host and the user
// see them.
#pragma once

namespace product {

constexpr const char* AppTitle = "Zel OGG Vorbis Player OCX 1.0.0";
constexpr const char* WebSite = "http://www.zelsoftware.com";
constexpr const char* SupportEmail = "support@zelsoftware.com";

}  // namespace product
