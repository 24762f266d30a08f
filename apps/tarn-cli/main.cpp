#include "Cli.h"

int main(int argc, char** argv) {
    return tarn::cli::runCli(argc, argv);
}
