#include "app/server/SorvaneApp.h"

int main(int argc, char** argv) {
    return sorvane::SorvaneApp::main(argc, argv);
}
