#pragma once
// Addresses, query values and extra header texts of the service and the stock site.
#include "service/endpoints.h"
#include "text/text.h"

namespace sucaigang {

inline constexpr int kVersionBound = 20230201;

// Query values are percent-encoded (GBK bytes, unreserved characters kept), so a value holding
// "&", "#", "%", "+" or a space arrives intact and cannot add a parameter of its own. Values made
// only of unreserved characters go out byte for byte. The user name is sent through UTF-8.
Text QueryValue(const Text& value);

Text LoginAddress(const Endpoints& endpoints, const Text& user, const Text& password);
Text LoginHeaders(const Endpoints& endpoints);  // "referer: " + web home
// `accountUser` is already encoded at login; `accountPass` is the service's own value.
Text ParseAddress(const Endpoints& endpoints, const Text& id, const Text& accountUser,
                  const Text& accountPass);
Text VersionAddress(const Endpoints& endpoints, const Text& timestamp);

// The stock page is fetched with a fixed browser user agent and the stock home as Referer.
Text StockPageHeaders(const Endpoints& endpoints);

}  // namespace sucaigang
