#pragma once
// The script every JsonDocument engine starts with: the four support functions the document's
// operations call, and JSON.stringify with the escapes the client's text forms carry.
#include <string_view>

namespace sucaigang {

inline constexpr std::string_view kJsonSupportScript = R"JS(
function get__nodeValue(str_json, recursion) {
  if (str_json === null || typeof str_json != 'object') return str_all;
  for (var k in str_json) {
    var v = str_json[k], t = Object.prototype.toString.call(v);
    if (t == '[object Object]' || t == '[object Array]') {
      if (recursion) get__nodeValue(v, recursion);
    } else if (t == '[object String]' || t == '[object Number]' || t == '[object Boolean]') {
      str_all.push(v);
    }
  }
  return str_all;
}
function get__count(c) {
  return Object.prototype.toString.call(c) == '[object Array]' ? c.length : 0;
}
function get__name_All(a) {
  if (Object.prototype.toString.call(a) != '[object Object]') return '';
  var names = [];
  for (var k in a) if (typeof a[k] != 'function') names.push(k);
  return names.join('\r\n');
}
function get__extend(target, source) {
  if (Object.prototype.toString.call(target) == '[object Array]') {
    for (var i = 0; i < source.length; i++) target.push(source[i]);
    return target;
  }
  for (var k in source) {
    var kind = typeof target[k], from = source[k];
    if (kind == 'object' && target[k] !== null && typeof from == 'object' && from !== null) {
      target[k] = get__extend(target[k], from);
    } else if (kind != 'function') {
      target[k] = from;
    }
  }
  return target;
}
(function () {
  var stringify = JSON.stringify;
  var more = /[\u007f-\u009f\u00ad\u0600-\u0604\u070f\u17b4\u17b5\u200c-\u200f\u2028-\u202f\u2060-\u206f\ufeff\ufff0-\uffff]/g;
  function escape(c) {
    return '\\u' + ('000' + c.charCodeAt(0).toString(16)).slice(-4);
  }
  JSON.stringify = function () {
    var text = stringify.apply(JSON, arguments);
    return typeof text == 'string' ? text.replace(more, escape) : text;
  };
})();
)JS";

}  // namespace sucaigang
