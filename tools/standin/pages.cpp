#include "standin/pages.h"

#include "text/encoding.h"

namespace sucaigang::standin {
namespace {

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '&':
        out += "&amp;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string TitleOf(const Resource& r) { return r.title.empty() ? "素材 " + r.id : r.title; }

std::string PageUrl(const std::string& id) { return "/sucai/" + id + ".html"; }

}  // namespace

std::string WebHomePage() {
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>素材港解析 - 首页</title>
</head>
<body>
<div class="header"><a href="/">素材港解析</a> | <a href="/gg/index.html">网站公告</a> | <a href="/?user&amp;index">个人中心</a></div>
<div class="main">
<h1>素材港会员素材解析</h1>
<p>登陆后粘贴素材页地址即可解析下载，每次解析间隔60秒。</p>
<form action="/?user&amp;reg" method="post">
<p>用户名：<input type="text" name="user"></p>
<p>密　码：<input type="password" name="pass"></p>
<p><input type="submit" value="注册"></p>
</form>
</div>
<div class="footer">本页面由本地测试服务提供</div>
</body>
</html>
)";
}

std::string NewsPageGbk() {
  return Utf8ToGbk(
      R"(<!DOCTYPE html PUBLIC "-//W3C//DTD XHTML 1.0 Transitional//EN" "http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd">
<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=gb2312" />
<title>网站公告</title>
<style type="text/css">
body { margin: 4px; font-size: 12px; color: #333; }
h3 { margin: 2px 0; font-size: 13px; color: #c00; }
li { line-height: 20px; }
</style>
</head>
<body>
<h3>网站公告</h3>
<ul>
<li>[2023-02-01] 客户端更新至 20230201 版，修复下载进度显示。</li>
<li>[2023-01-20] 春节期间解析服务正常开放，祝大家新年快乐！</li>
<li>[2023-01-05] 每日签到可获得积分，积分可兑换金币。</li>
<li>[2022-12-18] 钻石会员不限次数解析，黄金会员每日50次。</li>
</ul>
<p>如有问题请联系管理员。</p>
</body>
</html>
)");
}

std::string UserPage() {
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>个人中心 - 素材港解析</title>
</head>
<body>
<h2>个人中心</h2>
<p>请先登陆后再签到。</p>
<form action="/?user&amp;sign" method="post">
<input type="submit" value="每日签到">
</form>
<p><a href="/">返回首页</a></p>
</body>
</html>
)";
}

std::string StockHomePage(const std::vector<Resource>& resources) {
  std::string list;
  for (const auto& r : resources) {
    list += "<li><a href=\"" + PageUrl(r.id) + "\">" + Escape(TitleOf(r)) + "</a></li>\n";
  }
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>素材港 - 免费设计素材下载</title>
</head>
<body>
<div class="nav"><a href="/">首页</a> <a href="/">平面</a> <a href="/">背景</a> <a href="/">图标</a></div>
<h2>最新素材</h2>
<ul class="list">
)" + list +
         R"(</ul>
</body>
</html>
)";
}

std::string StockResourcePage(const Resource& r) {
  std::string title = Escape(TitleOf(r));
  std::string picId = r.emptyPicId ? "" : Escape(r.id);
  std::string related;
  for (const auto& id : r.related) {
    related += "<li><a href=\"" + PageUrl(id) + "\">相关素材 " + Escape(id) +
               "</a><form class=\"fav\" action=\"/fav.php\" method=\"post\"><input type=\"hidden\" "
               "name=\"pic_id\" value=\"" +
               Escape(id) + "\"><button>收藏</button></form></li>\n";
  }
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>)" +
         title +
         R"( - 素材港</title>
<link rel="stylesheet" href="/static/css/detail.css">
</head>
<body>
<div class="nav"><a href="/">首页</a> &gt; <a href="/">平面素材</a> &gt; <span>)" +
         title + R"(</span></div>
<div class="detail">
<h1>)" + title +
         R"(</h1>
<div class="preview"><img src="/static/preview/)" +
         Escape(r.id) + R"(.jpg" alt=")" + title + R"("></div>
<table class="info">
<tr><th>素材编号</th><td>)" +
         Escape(r.id) + R"(</td></tr>
<tr><th>文件格式</th><td>PSD / ZIP</td></tr>
<tr><th>文件大小</th><td>)" +
         std::to_string(r.size) + R"( 字节</td></tr>
</table>
<form id="down" action="/download.php" method="post">
<input type="hidden" id="pic_id" name="pic_id" value=")" +
         picId + R"(">
<input type="hidden" name="type" value="zip">
<button type="submit" class="btn-down">立即下载</button>
</form>
</div>
<div class="related">
<h3>相关素材</h3>
<ul>
)" + related +
         R"(</ul>
</div>
</body>
</html>
)";
}

std::string TooFrequentPage() {
  return R"(<!DOCTYPE html>
<html lang="zh-CN">
<head>
<meta charset="utf-8">
<title>提示信息 - 素材港</title>
</head>
<body>
<div class="msg">
<h2>提示信息</h2>
<p>您的访问过于频繁，请明天再来！</p>
<p><a href="/">返回首页</a></p>
</div>
</body>
</html>
)";
}

std::string NotFoundPage() {
  return R"(<!DOCTYPE html>
<html>
<head><meta charset="utf-8"><title>404 Not Found</title></head>
<body><h1>404 Not Found</h1><p>页面不存在</p></body>
</html>
)";
}

std::string ErrorStatusPage(int status) {
  std::string code = std::to_string(status);
  return "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" + code +
         "</title></head><body><h1>" + code + "</h1></body></html>\n";
}

}  // namespace sucaigang::standin
