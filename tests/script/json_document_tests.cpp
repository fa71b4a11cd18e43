#include "script/json_document.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "text/encoding.h"

namespace sucaigang {
namespace {

using namespace std::string_literals;

// A login answer as the flows receive it: UTF-8 from the service, converted to GBK.
Text LoginAnswer(std::string_view code = "200") {
  return Utf8ToGbk(
      R"({"code":)" + std::string(code) +
      R"(,"info":"登陆成功","data":{"password":"p\\w'd","vip":"1","vip_g":"1700000000",)"
      R"("Integral":35,"nickname":"素材港用户","points":12,"flag":false,"list":[1,2],)"
      R"("obj":{"a":1},"none":null}})");
}

TEST(JsonDocument, LoginAnswerReadsAsTheFlowsReadIt) {
  JsonDocument answer;
  EXPECT_TRUE(answer.Parse(LoginAnswer()));
  EXPECT_EQ(answer.GetObject("code").ToText(), "200");
  struct Case {
    const char* path;
    Text text;
  } cases[] = {
      {"info", "登陆成功"_gbk}, {"data.password", "p\\w'd"},
      {"data.vip", "1"},        {"data['vip_g']", "1700000000"},
      {"data.Integral", "35"},  {"data.nickname", "素材港用户"_gbk},
      {"data.points", "12"},    {"data.flag", "false"},
      {"data.list", "1,2"},     {"data.obj", "[object Object]"},
      {"data.missing", ""},     {"data.none", ""},
      {"missing.x", ""},        {"da.code", "200"},
  };
  for (const auto& c : cases) EXPECT_EQ(answer.GetText(c.path), c.text) << c.path;

  JsonDocument quoted;
  quoted.Parse(LoginAnswer(R"("200")"));
  EXPECT_EQ(quoted.GetObject("code").ToText(), "\"200\"");
  EXPECT_EQ(quoted.GetText("code"), "200");

  JsonDocument parse;
  parse.Parse(R"({"state":0,"msg":"http://127.0.0.1/x.zip"})");
  EXPECT_EQ(parse.GetText("state"), "0");
  EXPECT_EQ(parse.GetText("msg"), "http://127.0.0.1/x.zip");
}

TEST(JsonDocument, AnswerThatIsNotJsonLeavesEveryReadEmpty) {
  const char* answers[] = {
      "<html><body><h1>502 Bad Gateway</h1></body></html>",
      "",
      "bareword",
      // Script that a JSON parser refuses must never run.
      R"({"code":200,"data":(function(){ str_Code = 'x'; return {}; })()})",
      "{'code':200}",
  };
  const char* fields[] = {"code",          "info",          "data.password", "data.vip",
                          "data['vip_g']", "data.Integral", "data.nickname", "data.points"};
  for (const char* text : answers) {
    JsonDocument answer;
    EXPECT_FALSE(answer.Parse(text)) << text;
    EXPECT_EQ(answer.GetObject("code").ToText(), "") << text;
    for (const char* field : fields) EXPECT_EQ(answer.GetText(field), "") << text << field;
    EXPECT_FALSE(answer.Exists());
    EXPECT_EQ(answer.TypeOf(), kJsonNull);
    // The engine's own globals are untouched.
    EXPECT_EQ(answer.Engine()->EvalText("str_Code.charCodeAt(0)"), "9216") << text;
  }
  // The empty text leaves the document undefined, any other refused text null.
  JsonDocument empty, html;
  empty.Parse("");
  html.Parse("<html>");
  EXPECT_EQ(empty.ToText(), "");
  EXPECT_EQ(html.ToText(), "null");
}

TEST(JsonDocument, ParseTakesJsonValuesOnlyAndAsCodeEvaluates) {
  struct Case {
    const char* text;
    bool asCode, parsed;
    Text json;
  } cases[] = {
      {"{}", false, true, "{}"},
      {" [1, \"a\", null] ", false, true, "[1,\"a\",null]"},
      // A JSON string literal is the document itself; it is not evaluated once more.
      {"\"abc\"", false, true, "\"abc\""},
      {"\"1+1\"", false, true, "\"1+1\""},
      {"12.5", false, true, "12.5"},
      {"null", false, false, "null"},
      {"1+1", false, false, "null"},
      {"\"abc\"", true, true, "\"abc\""},
      {"1+1", true, true, "2"},
      {"{a: [1, 2]}", true, true, "{\"a\":[1,2]}"},
      {"(", true, false, "null"},
  };
  for (const auto& c : cases) {
    JsonDocument document;
    EXPECT_EQ(document.Parse(c.text, c.asCode), c.parsed) << c.text;
    EXPECT_EQ(document.ToText(), c.json) << c.text;
  }
}

TEST(JsonDocument, ParseFillsTheErrorRecord) {
  JsonDocument document;
  ScriptError error;
  EXPECT_FALSE(document.Parse("{\"a\":", false, &error));
  EXPECT_NE(error.number, 0);
  EXPECT_FALSE(error.description.empty());
  EXPECT_TRUE(document.Parse("{\"a\":1}", false, &error));
  EXPECT_EQ(error.number, 0);
  EXPECT_EQ(error.description, "");
  EXPECT_FALSE(document.Parse("var x = ;", true, &error));
  EXPECT_EQ(error.number, 1002);
  EXPECT_EQ(error.line, 1);
  // The object stays usable after every failure.
  EXPECT_TRUE(document.Parse("{\"a\":1}"));
  EXPECT_EQ(document.GetText("a"), "1");
}

TEST(JsonDocument, DeeplyNestedTextFailsCleanly) {
  for (size_t depth : {2000u, 200000u}) {
    JsonDocument document;
    EXPECT_FALSE(document.Parse(std::string(depth, '[') + std::string(depth, ']')));
    EXPECT_EQ(document.ToText(), "null");
    EXPECT_TRUE(document.Parse("{\"a\":[[[1]]]}"));
    EXPECT_EQ(document.GetText("a"), "1");
  }
  JsonDocument document;
  EXPECT_FALSE(document.Parse(std::string(200000, '[') + "1" + std::string(200000, ']'), true));
}

TEST(JsonDocument, ResolvePathFollowsTheThreeSteps) {
  JsonDocument document;
  document.Parse(R"({"code":200,"data":{"nickname":"n","x":null},"list":[{"name":"a"}]})");
  struct Case {
    const char* given;
    const char* used;
    bool found;
  } cases[] = {
      {"", "da", true},
      {"code", "da.code", true},
      {"data.nickname", "da.data.nickname", true},
      {"data.x", "da.data.x", false},
      {"data['nickname']", "da.data['nickname']", true},
      {"list[0].name", "da.list[0].name", true},
      {"[0]", "da[0]", false},
      {"da.code", "da.code", true},
      {"da.x", "da.da.x", false},
      {"missing.x", "da.missing.x", false},
  };
  for (const auto& c : cases) {
    Text path = c.given;
    EXPECT_EQ(document.ResolvePath(path), c.found) << c.given;
    EXPECT_EQ(path, c.used);
    EXPECT_EQ(document.Exists(c.given), c.found) << c.given;
  }
  JsonDocument array;
  array.Parse("[\"a\",\"b\"]");
  EXPECT_TRUE(array.Exists("[1]"));
  EXPECT_EQ(array.GetText("[1]"), "b");
}

TEST(JsonDocument, TypeOfCodes) {
  JsonDocument document;
  document.Parse(R"({"s":"x","a":[],"o":{},"n":1.5,"b":true,"z":null})");
  struct Case {
    const char* path;
    JsonValueType type;
  } cases[] = {
      {"s", kJsonString},        {"a", kJsonArray},   {"o", kJsonObject},
      {"n", kJsonNumber},        {"b", kJsonBoolean}, {"z", kJsonNull},
      {"missing", kJsonNull},    {"", kJsonObject},   {"missing.x", kJsonOther},
      {"s.length", kJsonNumber},
  };
  for (const auto& c : cases) EXPECT_EQ(document.TypeOf(c.path), c.type) << c.path;
  document.SetMemberScript("f", "(function () {})");
  EXPECT_EQ(document.TypeOf("f"), kJsonOther);
}

TEST(JsonDocument, SetMemberTextFormRoundTrips) {
  JsonDocument document;
  document.Parse(R"({"data":{}})");
  const Text values[] = {
      "a\\b", "it's \"quoted\"", "line\r\nnext\nlast\r", "\\\\server\\share\\", "中文\\"_gbk, ""};
  for (const Text& value : values) {
    document.SetMember("data.s", value);
    EXPECT_EQ(document.GetText("data.s"), value);
  }
  // The stored string holds the substitute; every read-out gives the backslash back.
  document.SetMember("data.s", "a\\b");
  EXPECT_EQ(document.Engine()->EvalText("da.data.s.charCodeAt(1)"), "9216");
  EXPECT_EQ(document.GetJson("data.s"), "\"a\\\\b\"");
  EXPECT_EQ(document.ToText(), "{\"data\":{\"s\":\"a\\\\b\"}}");
  EXPECT_EQ(document.GetObject("data").GetText("s"), "a\\b");
  // A substitute that arrives in a parsed document reads out as a backslash too.
  JsonDocument parsed;
  parsed.Parse(R"({"s":"a\u2400b"})");
  EXPECT_EQ(parsed.GetText("s"), "a\\b");
  EXPECT_EQ(parsed.ToText(), R"({"s":"a\\b"})");
  // A member missing on the way fails and changes nothing.
  document.SetMember("missing.s", "x");
  EXPECT_EQ(document.ToText(), "{\"data\":{\"s\":\"a\\\\b\"}}");
  EXPECT_TRUE(document.Exists("data.s"));
}

TEST(JsonDocument, SetMemberObjectFormMergesOrEvaluates) {
  JsonDocument document;
  document.Parse(R"({"o":{"a":"1","n":{"x":true},"keep":[1]},"list":[1]})");
  document.SetMember("o", R"({"a":"2","b":false,"n":{"y":2}})", true);
  EXPECT_EQ(document.GetJson("o"), R"({"a":"2","n":{"x":true,"y":2},"keep":[1],"b":false})");
  document.SetMember("list", "[2,3]", true);
  EXPECT_EQ(document.GetJson("list"), "[2,3]");
  document.SetMember("fresh", "{\"k\":1}", true);
  EXPECT_EQ(document.GetJson("fresh"), "{\"k\":1}");
}

TEST(JsonDocument, MemberNamesCountAndAllValues) {
  JsonDocument document;
  document.Parse(
      R"({"b":"x","a":[1,"two",true,null,{"deep":"d"}],"o":{"k":"v","n":{"m":7}},"z":null})");
  std::vector<Text> names = {"stale"};
  EXPECT_EQ(document.MemberNames(names), 4);
  EXPECT_EQ(names, (std::vector<Text>{"b", "a", "o", "z"}));
  for (const char* path : {"a", "b", "z", "missing", "missing.x"}) {
    names = {"stale"};
    EXPECT_EQ(document.MemberNames(names, path), 0) << path;
    EXPECT_TRUE(names.empty()) << path;
  }
  EXPECT_EQ(document.Count("a"), 5);
  for (const char* path : {"", "b", "o", "missing", "missing.x"}) {
    EXPECT_EQ(document.Count(path), 0) << path;
  }

  std::vector<Text> values = {"stale"};
  EXPECT_EQ(document.AllValues(values), 1);
  EXPECT_EQ(values, (std::vector<Text>{"x"}));
  EXPECT_EQ(document.AllValues(values, "", true), 7);
  EXPECT_EQ(values, (std::vector<Text>{"x", "1", "two", "true", "d", "v", "7"}));
  EXPECT_EQ(document.AllValues(values, "a"), 3);
  EXPECT_EQ(document.AllValues(values, "missing.x"), 0);
  EXPECT_TRUE(values.empty());
}

TEST(JsonDocument, GetObjectIsIndependentAndCopyShares) {
  JsonDocument document;
  document.Parse(R"({"data":{"nickname":"n"},"list":[{"id":1},"s",null]})");
  JsonDocument data = document.GetObject("data");
  data.SetMember("nickname", "changed");
  document.SetMember("data.extra", "new");
  EXPECT_EQ(document.GetText("data.nickname"), "n");
  EXPECT_EQ(data.GetText("extra"), "");
  EXPECT_EQ(data.ToText(), "{\"nickname\":\"changed\"}");

  EXPECT_EQ(document.GetElementObject(0, "list").ToText(), "{\"id\":1}");
  EXPECT_EQ(document.GetElementObject(1, "list").ToText(), "\"s\"");
  EXPECT_EQ(document.GetElementObject(2, "list").ToText(), "null");
  EXPECT_EQ(document.GetElementObject(9, "list").ToText(), "");
  EXPECT_EQ(document.GetObject("missing").ToText(), "");
  EXPECT_EQ(document.GetObject("missing.x").ToText(), "");

  JsonDocument shared = document.Copy();
  shared.SetMember("data.nickname", "both");
  EXPECT_EQ(document.GetText("data.nickname"), "both");
  // A new parse gives the object a new engine; the copy keeps the old document.
  document.Parse("{}");
  EXPECT_EQ(shared.GetText("data.nickname"), "both");
  EXPECT_EQ(document.GetText("data.nickname"), "");
}

TEST(JsonDocument, ElementsAndNumbers) {
  JsonDocument document;
  document.Parse(R"({"list":["a",{"b":1},3],"n":2.5})");
  EXPECT_EQ(document.GetElementText(0, "list"), "a");
  EXPECT_EQ(document.GetElementText(1, "list"), "");  // only strings read without asJson
  EXPECT_EQ(document.GetElementText(1, "list", true), "{\"b\":1}");
  document.AddElement("z", "list");
  document.AddElement("0", "list", true, true);
  EXPECT_EQ(document.GetJson("list"), R"([0,"a",{"b":1},3,"z"])");
  document.SetElement(1, "list", "{\"c\":2}", true);
  document.RemoveElement(2, "list");
  EXPECT_EQ(document.GetJson("list"), R"([0,{"c":2},3,"z"])");
  document.AddElement("first", "fresh");  // not an array yet: becomes one
  EXPECT_EQ(document.GetJson("fresh"), R"(["first"])");

  EXPECT_EQ(document.GetNumber("n"), 2.5);
  EXPECT_EQ(document.GetNumber("missing.x"), 0);
  EXPECT_TRUE(document.SetNumber("m", -1e300));
  EXPECT_EQ(document.GetNumber("m"), -1e300);
  document.SetNumber("inf", INFINITY);
  document.SetNumber("nan", NAN);
  document.DeleteMember("list");
  document.DeleteMember("fresh");
  EXPECT_EQ(document.ToText(), R"({"n":2.5,"m":-1e+300,"inf":null,"nan":null})");
}

TEST(JsonDocument, TextFormsOfStringify) {
  JsonDocument document;
  // Characters the text form escapes beyond the engine's own set, and those it leaves.
  const std::string escaped =
      R"(\u0001\b\t\n\f\r\"\\\u001f\u007f\u0085\u009f\u00ad\u0600\u0604\u070f\u17b4\u17b5)"
      R"(\u200c\u200f\u2028\u202f\u2060\u206f\ufeff\ufff0\uffff)";
  EXPECT_TRUE(document.Parse("{\"s\":\"" + escaped + "/~\"}"));
  EXPECT_EQ(document.ToText(), "{\"s\":\"" + escaped + "/~\"}");
  // Undefined and functions are left out; no spaces.
  document.Parse("{\"a\": [1, 2], \"b\": {}}");
  document.SetMemberScript("f", "(function () {})");
  document.SetMemberScript("u", "undefined");
  EXPECT_EQ(document.ToText(), R"({"a":[1,2],"b":{}})");
}

TEST(JsonDocument, CharactersBeyondGbkNeverComeOutAsSurrogateHalves) {
  JsonDocument document;
  document.Parse(R"({"e":"a\ud83d\ude00b","lone":"a\ud800b"})");
  // Whatever the text layer makes of a character GBK lacks, never CESU-8 bytes.
  const Text emoji = Utf8ToGbk("\xF0\x9F\x98\x80");
  EXPECT_EQ(document.GetText("e"), "a" + emoji + "b");
  EXPECT_EQ(document.GetText("lone"), "a?b");
  EXPECT_EQ(document.GetText("e", true), "\"a" + emoji + "b\"");
  EXPECT_EQ(document.Engine()->EvalText("da.e"),
            "a\xF0\x9F\x98\x80"
            "b");
  EXPECT_EQ(document.Engine()->EvalText("da.lone"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(Cesu8ToUtf8("\xED\xA0\xBD\xED\xB8\x80"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Cesu8ToUtf8("\xED\xB8\x80\xED\xA0\xBD"), "\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(Cesu8ToUtf8("plain \xE4\xB8\xAD"), "plain \xE4\xB8\xAD");
}

TEST(ScriptEngine, ResultKindsAndErrors) {
  ScriptEngine engine;
  ASSERT_TRUE(engine.Valid());
  EXPECT_TRUE(engine.AddCode("function twice(x) { return x * 2 }\nvar kept = 'k';"));
  EXPECT_EQ(engine.EvalText("twice(3)"), "6");
  EXPECT_EQ(engine.EvalText("kept"), "k");
  EXPECT_EQ(engine.EvalText("undefined"), "");
  EXPECT_EQ(engine.EvalText("null"), std::nullopt);
  EXPECT_EQ(engine.EvalNumber("'12.5'"), 12.5);
  EXPECT_EQ(engine.EvalNumber("'abc'"), std::nullopt);
  EXPECT_EQ(engine.EvalNumber("({})"), std::nullopt);
  struct Case {
    const char* code;
    bool value;
  } booleans[] = {{"true", true}, {"1 == 2", false}, {"7", true},          {"0", false},
                  {"NaN", false}, {"'True'", true},  {"'x'", false},       {"'2'", true},
                  {"''", false},  {"({})", false},   {"undefined", false}, {"missing", false}};
  for (const auto& c : booleans) EXPECT_EQ(engine.EvalBool(c.code), c.value) << c.code;

  EXPECT_FALSE(engine.Eval("missing.x"));
  EXPECT_EQ(engine.LastError().number, 5009);
  EXPECT_EQ(engine.LastError().source, "JavaScript runtime error");
  EXPECT_FALSE(engine.AddCode("var a = 1;\nvar b = ;"));
  EXPECT_EQ(engine.LastError().number, 1002);
  EXPECT_EQ(engine.LastError().source, "JavaScript compilation error");
  EXPECT_EQ(engine.LastError().line, 2);
  EXPECT_EQ(engine.LastError().text, "var b = ;");
  EXPECT_FALSE(engine.Eval("throw 'plain'"));
  EXPECT_EQ(engine.LastError().description, "plain");
  EXPECT_TRUE(engine.Eval("1"));
  EXPECT_EQ(engine.LastError().number, 0);
  EXPECT_EQ(engine.EvalText("'中文'"), "中文");
}

TEST(JsonDocument, WithoutAnEngineEveryOperationYieldsItsZeroValue) {
  JsonDocument moved;
  JsonDocument document = std::move(moved);
  std::vector<Text> list = {"stale"};
  EXPECT_FALSE(moved.Parse("{\"a\":1}"));
  EXPECT_EQ(moved.GetText("a"), "");
  EXPECT_EQ(moved.ToText(), "");
  EXPECT_FALSE(moved.Exists());
  EXPECT_EQ(moved.TypeOf("a"), kJsonOther);
  EXPECT_EQ(moved.MemberNames(list), 0);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(moved.Count(), 0);
  EXPECT_EQ(moved.GetNumber("a"), 0);
  EXPECT_EQ(moved.GetObject("a").ToText(), "");
  EXPECT_FALSE(moved.SetNumber("a", 1));
  EXPECT_EQ(moved.Engine(), nullptr);
  EXPECT_TRUE(document.Parse("{\"a\":1}"));
}

}  // namespace
}  // namespace sucaigang
