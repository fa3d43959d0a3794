#include "store/rankdb.h"
#include "text/apperror.h"

#include <QCoreApplication>
#include <cstdio>
#include <string>

// Usage: rank_store_burst <path of Sort.mdb>
// Stores ranks with distinct keywords and prints each row's number once its store returned,
// so whoever kills the process knows which rows were reported stored.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: rank_store_burst <database file>\n");
        return 2;
    }
    RankDatabase db(DatabaseAddress::file(QString::fromLocal8Bit(argv[1])));
    try {
        // Bounded, so a forgotten process ends by itself.
        for (int i = 0; i < 100000; ++i) {
            db.StoreRank("burst.example.com", "burst-" + std::to_string(i), i % 3, i % 500);
            std::printf("%d\n", i);
            std::fflush(stdout);
        }
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        return 1;
    }
    return 0;
}
