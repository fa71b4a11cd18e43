#include "service/protocol.h"

#include "text/encoding.h"

namespace sucaigang {

Text QueryValue(const Text& value) { return UrlEncode(value, true, false); }

Text LoginAddress(const Endpoints& endpoints, const Text& user, const Text& password) {
  return endpoints.apiBase + "/login.php?user=" + UrlEncode(user, true, true) +
         "&pass=" + QueryValue(password);
}

Text LoginHeaders(const Endpoints& endpoints) { return "referer: " + endpoints.webHome; }

Text ParseAddress(const Endpoints& endpoints, const Text& id, const Text& accountUser,
                  const Text& accountPass) {
  // accountUser was encoded at login: encoding it again would change it.
  return endpoints.apiBase + "/sucai.php?id=" + QueryValue(id) + "&user=" + accountUser +
         "&pass=" + QueryValue(accountPass);
}

Text VersionAddress(const Endpoints& endpoints, const Text& timestamp) {
  return endpoints.apiBase + "/version.php?t=" + timestamp;
}

Text StockPageHeaders(const Endpoints& endpoints) {
  return "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
         "Chrome/86.0.4240.198 Safari/537.36\r\nReferer: " +
         endpoints.stockHome;
}

}  // namespace sucaigang
