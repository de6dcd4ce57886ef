// A throw-away world for tests that need the simulated host: the JSON is
// imported into a fresh database file, NTSIM_WORLD points at it and the
// process's host is reset so the next platform call opens it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "host/host.h"
#include "store/world.h"

class WorldFile {
public:
    explicit WorldFile(const std::string& json) {
        char pattern[] = "/tmp/suite_world_XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd >= 0) close(fd);
        std::remove(pattern);
        path = std::string(pattern) + ".db";
        std::string error;
        {
            auto world = platform::store::World::Open(path, false, &error);
            EXPECT_NE(world, nullptr) << error;
            if (world != nullptr) {
                EXPECT_TRUE(world->ImportJson(json, &error)) << error;
            }
        }
        setenv("NTSIM_WORLD", path.c_str(), 1);
        unsetenv("NTSIM_FAULT");
        unsetenv("NTSIM_LOGON");
        platform::host::Host::ResetForTesting();
    }
    WorldFile(const WorldFile&) = delete;
    WorldFile& operator=(const WorldFile&) = delete;
    ~WorldFile() {
        platform::host::Host::ResetForTesting();
        for (const char* suffix : {"", "-wal", "-shm"}) std::remove((path + suffix).c_str());
    }

    // Changes the environment the host reads at start and starts it anew.
    static void Restart(const char* variable, const char* value) {
        if (value != nullptr)
            setenv(variable, value, 1);
        else
            unsetenv(variable);
        platform::host::Host::ResetForTesting();
    }

    std::string path;  // the database file, removed with its journals
};
