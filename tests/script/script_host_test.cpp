#include "script_host.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "../../src/download/stream_list_script.h"
#include "../common/temp_dir.h"

namespace {

struct ScriptFixture {
    TJavaScript script;
    std::shared_ptr<THostScriptlet> host;
    std::vector<std::string> echoes, alerts;
    std::vector<TScriptError> errors;

    ScriptFixture() {
        host = CreateHostScriptlet([this](THostScriptlet*, const std::string& t) { echoes.push_back(t); },
                                   [this](THostScriptlet*, const std::string& t) { alerts.push_back(t); });
        script.AddItem(host);
        script.OnError = [this](TCustomScript*, const TScriptError& e) { errors.push_back(e); };
    }
    void Run(std::vector<std::string> lines) {
        script.Lines = std::move(lines);
        script.Execute();
    }
};

// Percent-encodes everything but letters and digits.
std::string Encode(const std::string& text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const unsigned char c : text) {
        if (std::isalnum(c)) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

}  // namespace

TEST(ScriptHost, HostMethodsRunInOrderWithoutRegardToCase) {
    ScriptFixture f;
    f.Run({"Host.Echo('a');", "Host.Echo('b');", "host_ok = 1;", "Host.echo('lower'); Host.ECHO(42);",
           "Host.Alert('careful');", "Host.Echo(); Host.Echo('x', 'y');", "Host.Echo(Host.CreateObject('X.Y'));",
           "Host.Echo(Host.unknownThing);"});
    EXPECT_TRUE(f.errors.empty());
    // Both reached their event before Execute returned; the wrong counts fired nothing.
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"a", "b", "lower", "42", "", ""}));
    EXPECT_EQ(f.alerts, (std::vector<std::string>{"careful"}));

    // CreateObject asks its handler and gives nothing back.
    std::vector<std::string> asked;
    f.host->OnCreateObject = [&](THostScriptlet*, const std::string& progId, bool& allow) {
        asked.push_back(progId);
        EXPECT_TRUE(allow);
    };
    f.echoes.clear();
    f.Run({"var o = Host.CreateObject('Scripting.FileSystemObject');", "Host.Echo(typeof o);"});
    EXPECT_EQ(asked, (std::vector<std::string>{"Scripting.FileSystemObject"}));
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"undefined"}));
}

TEST(ScriptHost, SyntaxAndRunTimeErrorsAreReportedWithZeroBasedLines) {
    ScriptFixture f;
    std::vector<TScriptState> states;
    int enters = 0, leaves = 0;
    f.script.OnStateChange = [&](TCustomScript*, TScriptState s) { states.push_back(s); };
    f.script.OnEnter = [&](TCustomScript*) { ++enters; };
    f.script.OnLeave = [&](TCustomScript*) { ++leaves; };

    // A syntax error: reported once, nothing runs, Execute returns.
    f.Run({"Host.Echo('never');", "var = ;", "Host.Echo('never either');"});
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].Line, 1u);
    EXPECT_FALSE(f.errors[0].Description.empty());
    EXPECT_NE(f.errors[0].Error.find("SyntaxError"), std::string::npos);
    EXPECT_TRUE(f.echoes.empty());
    EXPECT_EQ(enters, 0);
    EXPECT_EQ(states, (std::vector<TScriptState>{ssInitialized}));

    // A run-time error: the code before it ran, the line counts from 0.
    f.errors.clear();
    states.clear();
    f.Run({"Host.Echo('before');", "", "var x = null;", "x.property = 1;", "Host.Echo('after');"});
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].Line, 3u);
    EXPECT_NE(f.errors[0].Description.find("null"), std::string::npos);
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"before"}));
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(leaves, 1);
    EXPECT_EQ(states, (std::vector<TScriptState>{ssClosed, ssInitialized, ssStarted, ssConnected}));

    // A host method that throws: the script sees a failing call on its line.
    f.errors.clear();
    f.echoes.clear();
    f.host->OnEcho = [&](THostScriptlet*, const std::string& text) {
        if (text == "bad") throw std::invalid_argument("'bad' is not a valid integer value");
        f.echoes.push_back(text);
    };
    f.Run({"function g() {", "  Host.Echo('ok');", "  Host.Echo('bad');", "  Host.Echo('unreached');", "}", "g();"});
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].Line, 2u);
    EXPECT_EQ(f.errors[0].Description, "'bad' is not a valid integer value");
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"ok"}));

    // A thrown plain value is reported too.
    f.errors.clear();
    f.Run({"throw 'plain';"});
    ASSERT_EQ(f.errors.size(), 1u);
    EXPECT_EQ(f.errors[0].Description, "plain");
}

TEST(ScriptHost, ItemsAndFreshEngines) {
    ScriptFixture f;
    // A second item named "Host" is ignored; lookup is exact.
    std::vector<std::string> second;
    f.script.AddItem(CreateHostScriptlet([&](THostScriptlet*, const std::string& t) { second.push_back(t); }, {}));
    EXPECT_EQ(f.script.FindItem("Host"), f.host);
    EXPECT_EQ(f.script.FindItem("host"), nullptr);

    f.Run({"var leftover = 5;", "Host.Echo('first');"});
    f.Run({"Host.Echo(typeof leftover);"});
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"first", "undefined"}));
    EXPECT_TRUE(second.empty());
    EXPECT_TRUE(f.errors.empty());
}

TEST(ScriptHost, FormItemOverNamedProperties) {
    ScriptFixture f;
    std::string caption = "Main";
    int width = 640;
    TPropertyComponent form("FormMain"), button("ButtonNext");
    form.AddProperty("Caption", [&] { return TVariant(caption); }, [&](const TVariant& v) { caption = v.ToString(); });
    form.AddProperty("Width", [&] { return TVariant(width); });
    form.AddProperty("BorderStyle", [] { return TVariant("bsSingle"); });
    button.AddProperty("Enabled", [] { return TVariant(true); });
    form.AddComponent(&button);
    auto item = CreateComponentScriptlet(&form, "Form");
    EXPECT_EQ(item->GetName(), "Form");
    EXPECT_EQ(CreateComponentScriptlet(&form)->GetName(), "FormMain");
    f.script.AddItem(item);

    f.Run({"Host.Echo(Form.caption + '/' + Form.WIDTH + '/' + Form.BorderStyle);", "Form.Caption = 'Joined';",
           "Host.Echo(Form.ButtonNext.Enabled);", "Host.Echo(Form.NoSuchThing);"});
    EXPECT_TRUE(f.errors.empty()) << f.errors[0].Description;
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"Main/640/bsSingle", "true", ""}));
    EXPECT_EQ(caption, "Joined");

    // Read-only properties and owned components cannot be written.
    f.Run({"Form.Width = 1;"});
    f.Run({"Form.ButtonNext = 1;"});
    EXPECT_EQ(f.errors.size(), 2u);
    EXPECT_EQ(width, 640);

    // The dispatch identifiers keep their meaning.
    int32_t id = 0;
    EXPECT_TRUE(f.host->GetIDsOfNames({"eChO"}, id));
    EXPECT_EQ(id, 512 + 2);
    EXPECT_FALSE(f.host->GetIDsOfNames({"Echo", "Alert"}, id));
    TVariant result;
    EXPECT_EQ(f.host->Invoke(512 + 9, dfMethod, {}, result), ScriptResult::DISP_E_BADINDEX_);
    EXPECT_TRUE(item->GetIDsOfNames({"caption"}, id));
    EXPECT_LT(id, 0);
    EXPECT_EQ(item->Invoke(id, dfPropertyPut, {}, result), ScriptResult::DISP_E_BADPARAMCOUNT_);
}

TEST(ScriptHost, ReadTextAndWriteText) {
    TempDir dir;
    ScriptFixture f;
    const std::string file = dir.file("note.txt");
    f.Run({"Host.WriteText('" + file + "', 'line one');", "Host.Echo(Host.ReadText('" + file + "'));",
           "Host.WriteText('" + dir.file("empty.txt") + "', '');",
           "Host.Echo(typeof Host.ReadText('" + dir.file("missing.txt") + "'));"});
    EXPECT_TRUE(f.errors.empty());
    EXPECT_EQ(ReadWholeFile(file), "line one");
    EXPECT_FALSE(std::filesystem::exists(dir.file("empty.txt")));
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"line one", "undefined"}));
}

// The downloader's own stream-list script, line for line, over a sample
// video-info text.
TEST(ScriptHost, StreamListScriptEchoesTheKeptStreams) {
    const std::vector<std::string> kScript(std::begin(kStreamListScript), std::end(kStreamListScript));
    ASSERT_EQ(kScript.size(), 59u);

    const std::string url22 = "http://media.test/videoplayback?id=1&itag=22&ip=127.0.0.1";
    const std::string url43 = "http://media.test/videoplayback?id=1&itag=43";
    const std::string url18 = "http://media.test/videoplayback?id=1&itag=18&sparams=id,ip";
    const std::string map = "itag=22&url=" + Encode(url22) + "&sig=AB.CD&type=" + Encode("video/mp4; codecs=\"avc1\"") +
                            ",itag=43&url=" + Encode(url43) + "&sig=EF.GH&type=" + Encode("video/webm") +
                            ",itag=18&url=" + Encode(url18) + "&sig=IJ.KL";
    const std::string info = "status=ok&title=Sample&url_encoded_fmt_stream_map=" + Encode(map) + "&length_seconds=12";

    auto withInfo = [&](const std::string& text) {
        std::vector<std::string> lines = kScript;
        for (auto& line : lines)
            for (size_t at; (at = line.find("%get_video_info")) != std::string::npos;)
                line.replace(at, 15, text);
        return lines;
    };

    ScriptFixture f;
    f.Run(withInfo(info));
    EXPECT_TRUE(f.errors.empty()) << f.errors[0].Description;
    ASSERT_EQ(f.echoes.size(), 1u);
    EXPECT_EQ(f.echoes[0], "<22>[" + url22 + "&signature=AB.CD]<br><18>[" + url18 + "&signature=IJ.KL]");

    // No stream map: one empty echo. A missing signature: JavaScript's "undefined".
    f.echoes.clear();
    f.Run(withInfo("status=fail&reason=none"));
    f.Run(withInfo("url_encoded_fmt_stream_map=" + Encode("itag=18&url=" + Encode(url18))));
    EXPECT_EQ(f.echoes, (std::vector<std::string>{"", "<18>[" + url18 + "&signature=undefined]"}));
}
