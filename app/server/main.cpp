#include "app/server/SorvaneApp.h"

int main(int argc, char** argv) {
    sorvane::SorvaneApp::main(argc, argv);
    return 0;
}
