#include "Sapihost.h"

int main(int argc, char **argv) {
    return sapihost::Main(std::vector<std::string>(argv + 1, argv + argc));
}
