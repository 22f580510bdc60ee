#pragma once

#include "ObjectRegistry.h"
#include "PathMng.h"
#include "RamDB.h"

#include <memory>

// A store and a path manager in a registry, as the back end wires them, for a part tested on its own.
struct Services
{
    Services()
    {
        registry.Register(&db);
        registry.Register(&paths);
        paths.registry = &registry;
    }

    // A part of the back end that finds the others through this registry.
    template <typename T>
    std::unique_ptr<T> Make()
    {
        auto part = std::make_unique<T>();
        part->registry = &registry;
        return part;
    }

    ObjectRegistry registry;
    RamDB db;
    PathMng paths;
};
