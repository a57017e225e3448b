// The product's names and the maker's addresses, as the host and the user
// see them. The addresses are under a reserved example domain, so that
// nothing points at a real party.
#pragma once

namespace product {

constexpr const char* AppTitle = "Zel OGG Vorbis Player OCX 1.0.0";
constexpr const char* WebSite = "http://www.zel.example";
constexpr const char* SupportEmail = "support@zel.example";

}  // namespace product
