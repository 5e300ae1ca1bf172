#include "LinkTestMain.h"

#include <QCoreApplication>
#include <QTest>

#include <memory>

namespace linktest {
std::vector<Factory>& registry() {
    static std::vector<Factory> all;
    return all;
}
} // namespace linktest

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    int failed = 0;
    for (const auto& make : linktest::registry()) {
        std::unique_ptr<QObject> test(make());
        failed += QTest::qExec(test.get(), argc, argv);
    }
    return failed == 0 ? 0 : 1;
}
