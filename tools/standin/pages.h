#pragma once
// The HTML pages of the stand-in's web host and stock site.
#include <string>
#include <vector>

#include "standin/fixture.h"

namespace sucaigang::standin {

// Web host. The news page is GBK and says so in its meta tag, like the service's real pages.
std::string WebHomePage();
std::string NewsPageGbk();
std::string UserPage();

// Stock site, UTF-8. The resource page carries `pic_id" value="<id>"` in its download form.
std::string StockHomePage(const std::vector<Resource>& resources);
std::string StockResourcePage(const Resource& resource);
std::string TooFrequentPage();

std::string NotFoundPage();
std::string ErrorStatusPage(int status);

}  // namespace sucaigang::standin
