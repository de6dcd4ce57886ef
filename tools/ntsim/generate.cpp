// ntsim generate: a large registry tree for benchmarks.
//
// Keys are laid out breadth first below a root key, each with up to
// `fanout` subkeys and at most `depth` levels, until `keys` keys exist.
// One key in `explicit-every` gets an explicit descriptor of `aces`
// entries drawn from a fixed pool of accounts (well-known, BUILTIN, the
// machine's and its domain's accounts, an unknown SID) with about one deny
// entry in eight and an audit entry in one descriptor in four; the others
// inherit from their parent, as keys created by programs do.  The pool is
// small so that account look-ups repeat, as in real trees.  The same seed
// gives the same tree.
#include <CLI/CLI.hpp>

#include <deque>
#include <iostream>
#include <random>

#include "ntsim.h"
#include "store/principals.h"

namespace ntsim {

namespace {

struct Options {
    long long keys = 1000;         // keys to create, the root included
    int depth = 5;                 // levels below the root
    int fanout = 10;               // subkeys per key at most
    int aces = 4;                  // entries per explicit descriptor
    int explicitEvery = 10;        // one key in this many has its own descriptor
    std::string root = "HKLM\\SOFTWARE\\Generated";  // where the tree hangs
    unsigned seed = 1;             // random seed
};
Options options;

std::vector<std::string> SidPool(World& world, const platform::store::Machine& machine) {
    std::vector<std::string> pool = {"SY", "BA", "BU", "PU", "BO", "WD", "AU", "CO", "S-1-5-21-1-2-3-4242"};
    for (const auto& account : world.AccountsOf(0, machine.id))
        pool.push_back(platform::store::FormatSid(platform::store::SidWithRid(machine.sid, account.rid)));
    if (machine.domainId != 0)
        if (auto domain = world.DomainById(machine.domainId))
            for (const auto& account : world.AccountsOf(domain->id, 0))
                pool.push_back(platform::store::FormatSid(platform::store::SidWithRid(domain->sid, account.rid)));
    return pool;
}

std::string RandomSddl(std::mt19937& random, const std::vector<std::string>& pool) {
    const char* rights[] = {"KA", "KR", "KW", "KX", "0x3001f", "RCWD", "0x20019"};
    const char* flags[] = {"CI", "", "CIIO", "CINP", "OICI"};
    auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    std::string sddl = "O:BAG:SYD:";
    // Deny entries first, as careful administrators write them.
    std::vector<std::string> deny, allow;
    for (int i = 0; i < options.aces; ++i) {
        const std::string entry = std::string(flags[pick(std::size(flags))]) + ";" + rights[pick(std::size(rights))] +
                                  ";;;" + pool[pick(pool.size())] + ")";
        if (pick(8) == 0)
            deny.push_back("(D;" + entry);
        else
            allow.push_back("(A;" + entry);
    }
    for (const auto& e : deny) sddl += e;
    for (const auto& e : allow) sddl += e;
    if (pick(4) == 0) sddl += "S:(AU;CIFA;KA;;;WD)";
    return sddl;
}

int Generate(Context& context) {
    KeyPath root;
    std::string error;
    if (!ParseKeyPath(options.root, root, &error)) return Fail(error);
    if (options.keys < 1) return Fail("--keys must be at least 1");
    // Refuse a tree that cannot hold the keys before writing any of them.
    long double capacity = 0, width = 1;
    for (int d = 0; d <= options.depth && capacity < options.keys; ++d, width *= options.fanout) capacity += width;
    if (capacity < options.keys)
        return Fail("depth " + std::to_string(options.depth) + " and fan-out " + std::to_string(options.fanout) +
                    " hold only " + std::to_string(static_cast<long long>(capacity)) + " keys");
    auto world = context.Open();
    if (!world) return 1;
    auto machine = FindMachine(*world, root.machine);
    if (!machine) return 1;
    if (world->KeyByPath(machine->id, root.hive, root.path)) return Fail(options.root + " exists already");
    const std::vector<std::string> pool = SidPool(*world, *machine);
    std::mt19937 random(options.seed);
    long long made = 0;
    const bool ok = world->Batch([&] {
        auto top = world->CreateKey(machine->id, root.hive, root.path, nullptr, nullptr);
        if (!top) {
            error = "cannot create " + options.root;
            return false;
        }
        made = 1;
        std::deque<std::pair<platform::store::Id, int>> queue{{*top, 0}};
        while (!queue.empty() && made < options.keys) {
            const auto [parent, level] = queue.front();
            queue.pop_front();
            if (level >= options.depth) continue;
            for (int i = 0; i < options.fanout && made < options.keys; ++i) {
                Bytes sd;
                const bool own = options.explicitEvery > 0 && made % options.explicitEvery == 0;
                if (own && !ParseSddl(*world, machine->id, RandomSddl(random, pool), sd, &error)) return false;
                char name[48];
                std::snprintf(name, sizeof name, "Node%02d-%lld", i, made);
                auto id = world->CreateChild(parent, name, own ? &sd : nullptr);
                if (!id) {
                    error = "cannot create a key";
                    return false;
                }
                ++made;
                queue.emplace_back(*id, level + 1);
            }
        }
        return true;
    });
    if (!ok) return Fail(error.empty() ? "cannot write the world" : error);
    std::cout << made << " keys below " << options.root << "\n";
    return 0;
}

}  // namespace

void AddGenerateCommand(CLI::App& app, Context& context) {
    auto* generate = app.add_subcommand("generate", "build a large registry tree for benchmarks");
    generate->add_option("--keys", options.keys, "number of keys (default 1000)")->check(CLI::Range(1LL, 100000000LL));
    generate->add_option("--depth", options.depth, "levels below the root (default 5)")->check(CLI::Range(1, 500));
    generate->add_option("--fanout", options.fanout, "subkeys per key at most (default 10)")->check(CLI::Range(1, 100000));
    generate->add_option("--aces", options.aces, "entries per explicit descriptor (default 4)")->check(CLI::Range(1, 1000));
    generate->add_option("--explicit-every", options.explicitEvery,
                         "one key in N gets its own descriptor, 0 for none (default 10)")
        ->check(CLI::Range(0, 1000000));
    generate->add_option("--root", options.root, "[\\\\MACHINE\\]HKLM\\PATH of the tree's root (must not exist)");
    generate->add_option("--seed", options.seed, "random seed (default 1)");
    generate->callback([&context] { context.status = Generate(context); });
}

}  // namespace ntsim
