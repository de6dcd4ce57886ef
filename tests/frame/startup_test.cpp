// The start-up sequence's handling of the environment: DefaultDomain from
// USERDOMAIN, with the variable's name matched without regard to case, and
// the order of the steps around it.
#include "tests/frame/run_program.h"
#include "tools/quorlent/quorlent_spec.h"
#include "tools/teskalun/teskalun_spec.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>

namespace {

// Spellings of the variable this test sets; each run starts with none set.
const char* const domainNames[] = {"USERDOMAIN", "userdomain", "UserDomain", "USERDOMAINX", "USERDOMAI", "XUSERDOMAIN"};

class DefaultDomainTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : domainNames) {
            const char* value = std::getenv(name);
            saved.emplace_back(name, value != nullptr ? std::optional<std::string>(value) : std::nullopt);
            unsetenv(name);
        }
    }
    void TearDown() override {
        for (const auto& [name, value] : saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
        DefaultDomain = "";
    }

    std::vector<std::pair<std::string, std::optional<std::string>>> saved;  // the environment before the test
};

struct DomainCase {
    const char* label;                                   // what the case proves
    std::vector<std::pair<const char*, const char*>> env;  // variables set before the run
    const char* expected;                                // DefaultDomain afterwards
};

TEST_F(DefaultDomainTest, TakenFromUserDomainInAnyCase) {
    const DomainCase cases[] = {
        {"unset leaves it empty", {}, ""},
        {"upper-case name", {{"USERDOMAIN", "ACME"}}, "ACME"},
        {"lower-case name", {{"userdomain", "acme"}}, "acme"},
        {"mixed-case name", {{"UserDomain", "Mixed"}}, "Mixed"},
        {"empty value", {{"USERDOMAIN", ""}}, ""},
        {"value kept as is", {{"USERDOMAIN", "dom=ain with blanks"}}, "dom=ain with blanks"},
        {"longer name does not match", {{"USERDOMAINX", "no"}}, ""},
        {"shorter name does not match", {{"USERDOMAI", "no"}}, ""},
        {"prefixed name does not match", {{"XUSERDOMAIN", "no"}}, ""},
        {"the real one among near misses", {{"USERDOMAINX", "no"}, {"UserDomain", "yes"}, {"USERDOMAI", "no"}}, "yes"},
    };
    for (const DomainCase& c : cases) {
        SCOPED_TRACE(c.label);
        for (const char* name : domainNames) unsetenv(name);
        for (const auto& [name, value] : c.env) setenv(name, value, 1);
        DefaultDomain = "stale";
        const Captured run = RunCommandLine(QuorlentSpec, {"-h"});
        EXPECT_EQ(run.status, 0);
        EXPECT_STREQ(DefaultDomain.Text(), c.expected);
    }
}

TEST_F(DefaultDomainTest, SetOnEveryRunPastTheVersionSwitch) {
    setenv("USERDOMAIN", "ACME", 1);
    struct StepCase {
        const char* label;           // which path through the start-up sequence
        const ProgramSpec* spec;     // the program
        std::vector<std::string> args;  // its command line
        const char* expected;        // DefaultDomain afterwards
    };
    const StepCase cases[] = {
        {"version switch touches nothing", &QuorlentSpec, {"-v"}, "before"},
        {"no arguments", &QuorlentSpec, {}, "ACME"},
        {"unknown argument", &QuorlentSpec, {"-x"}, "ACME"},
        {"missing arguments", &QuorlentSpec, {"-r"}, "ACME"},
        {"work runs", &TeskalunSpec, {"data"}, "ACME"},
    };
    for (const StepCase& c : cases) {
        SCOPED_TRACE(c.label);
        DefaultDomain = "before";
        RunCommandLine(*c.spec, c.args);
        EXPECT_STREQ(DefaultDomain.Text(), c.expected);
    }
}

TEST_F(DefaultDomainTest, WorkSeesTheDomain) {
    setenv("USERDOMAIN", "HOME", 1);
    static std::string seen;
    ProgramWork reading = [](const ScanResult&) {
        seen = DefaultDomain.Text();
        return 1;
    };
    const Captured run = RunCommandLine(TeskalunSpec, {"data"}, reading);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(seen, "HOME");
}

}  // namespace
