// Whole-world commands: init, import, export, and the two settings (the
// local machine and the logged-on account).
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <fstream>
#include <iostream>
#include <sstream>

#include "ntsim.h"
#include "store/db.h"

namespace ntsim {

namespace {

const char* const kEmptyWorld = R"({"local": "", "logon": "", "domains": [], "machines": []})";

int Init(Context& context, bool empty) {
    auto world = context.Open(empty);
    if (!world) return 1;
    std::string error;
    if (!world->ImportJson(empty ? std::string(kEmptyWorld) : World::SampleJson(), &error)) return Fail(error);
    return 0;
}

int Import(Context& context, const std::string& file) {
    std::string text;
    if (file == "-") {
        std::stringstream in;
        in << std::cin.rdbuf();
        text = in.str();
    } else {
        std::ifstream in(file, std::ios::binary);
        if (!in) return Fail("cannot read " + file);
        std::stringstream content;
        content << in.rdbuf();
        text = content.str();
    }
    auto world = context.Open(true);
    if (!world) return 1;
    std::string error;
    if (!world->ImportJson(text, &error)) return Fail(file + ": " + error);
    return 0;
}

int Export(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    const std::string text = world->ExportJson();
    if (text.empty()) return Fail("cannot read the world " + world->Path() + " whole: " + world->LastError());
    std::cout << text;
    return 0;
}

// Sets "local" or "logon" through the JSON form, so the same checks apply.
int SetSetting(Context& context, const char* field, const std::string& value) {
    auto world = context.Open();
    if (!world) return 1;
    std::string error;
    const bool ok = world->EditJson(
        [&](std::string& json, std::string*) {
            auto doc = nlohmann::ordered_json::parse(json);
            doc[field] = value;
            json = doc.dump();
            return true;
        },
        &error);
    return ok ? 0 : Fail(error);
}

int ShowSetting(Context& context, bool local) {
    auto world = context.Open();
    if (!world) return 1;
    std::cout << (local ? world->LocalMachineName() : world->LogonName()) << "\n";
    return 0;
}

}  // namespace

void AddWorldCommands(CLI::App& app, Context& context) {
    auto* init = app.add_subcommand("init", "create the world, or reset it, with the sample world (or an empty one)");
    static bool empty = false;
    init->add_flag("--empty", empty, "an empty world instead of the sample");
    init->callback([&context] { context.status = Init(context, empty); });

    auto* import = app.add_subcommand("import", "replace the world by a JSON world file (- for standard input)");
    static std::string importFile;
    import->add_option("file", importFile, "JSON world file")->required();
    import->callback([&context] { context.status = Import(context, importFile); });

    app.add_subcommand("export", "write the world as JSON on standard output")->callback([&context] {
        context.status = Export(context);
    });

    auto* local = app.add_subcommand("local", "show or set the machine the programs run on");
    static std::optional<std::string> localName;
    local->add_option("machine", localName, "machine name");
    local->callback([&context] {
        context.status = localName ? SetSetting(context, "local", *localName) : ShowSetting(context, true);
    });

    auto* logon = app.add_subcommand("logon", "show or set the account the programs run as");
    static std::optional<std::string> logonName;
    logon->add_option("account", logonName, "[DOMAIN\\]NAME");
    logon->callback([&context] {
        context.status = logonName ? SetSetting(context, "logon", *logonName) : ShowSetting(context, false);
    });
}

}  // namespace ntsim
