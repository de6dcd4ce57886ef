// token and access: what the host decides for an account, computed by the
// host's own token builder and access check (platform/host/inspect.h).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>

#include "host/inspect.h"
#include "ntsim.h"

namespace ntsim {

namespace {

struct Options {
    std::string account;  // [DOMAIN\]NAME
    std::string machine;  // token: the machine, "" = local
    std::string key;      // access: [\\MACHINE\]HKLM\PATH
};
Options options;

struct RightName {
    ACCESS_MASK bit;   // one right
    const char* name;  // its name
};
const RightName kKeyRights[] = {
    {KEY_QUERY_VALUE, "QUERY_VALUE"},       {KEY_SET_VALUE, "SET_VALUE"},   {KEY_CREATE_SUB_KEY, "CREATE_SUB_KEY"},
    {KEY_ENUMERATE_SUB_KEYS, "ENUMERATE_SUB_KEYS"}, {KEY_NOTIFY, "NOTIFY"}, {KEY_CREATE_LINK, "CREATE_LINK"},
    {DELETE, "DELETE"},                     {READ_CONTROL, "READ_CONTROL"}, {WRITE_DAC, "WRITE_DAC"},
    {WRITE_OWNER, "WRITE_OWNER"},           {ACCESS_SYSTEM_SECURITY, "ACCESS_SYSTEM_SECURITY"},
};

int Token(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    std::string out, error;
    if (!platform::host::DescribeToken(*world, options.account, options.machine, out, error)) return Fail(error);
    std::cout << out;
    if (!out.empty() && out.back() != '\n') std::cout << "\n";
    return 0;
}

int Access(Context& context) {
    auto world = context.Open();
    if (!world) return 1;
    ACCESS_MASK granted = 0;
    std::string error;
    if (!platform::host::MaximumKeyAccess(*world, options.key, options.account, granted, error)) return Fail(error);
    char mask[16];
    std::snprintf(mask, sizeof mask, "0x%08x", granted);
    std::cout << mask;
    for (const RightName& right : kKeyRights)
        if ((granted & right.bit) == right.bit) std::cout << " " << right.name;
    std::cout << "\n";
    return 0;
}

}  // namespace

void AddInspectCommands(CLI::App& app, Context& context) {
    auto* token = app.add_subcommand("token", "show the SIDs and privileges of an account's token on a machine");
    token->add_option("account", options.account, "[DOMAIN\\]NAME")->required();
    token->add_option("--machine", options.machine, "machine (default: the local machine)");
    token->callback([&context] { context.status = Token(context); });

    auto* access = app.add_subcommand("access", "show the maximum access an account is granted on a key");
    access->add_option("key", options.key, "[\\\\MACHINE\\]HKLM\\PATH or HKU\\PATH")->required();
    access->add_option("--as", options.account, "[DOMAIN\\]NAME")->required();
    access->callback([&context] { context.status = Access(context); });
}

}  // namespace ntsim
