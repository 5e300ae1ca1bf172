#pragma once

#include <QObject>

#include <functional>
#include <vector>

// The link tests are several Qt Test classes in one executable; each registers
// itself here and main runs them all.
namespace linktest {

using Factory = std::function<QObject*()>;
std::vector<Factory>& registry();

struct Register {
    explicit Register(Factory f) { registry().push_back(std::move(f)); }
};

} // namespace linktest

#define LINKTEST(Class)                                                                            \
    static const linktest::Register register##Class([]() -> QObject* { return new Class; });
