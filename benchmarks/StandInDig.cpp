// A stand-in for `dig +short +time=2 +tries=1 HOST TYPE` whose query is never
// answered: it takes the full 2-second wait, then prints one address made from
// the host name, so that the order of the answers can be checked. One process
// per query, as dig is.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

int main(int argc, char* argv[]) {
    if (argc != 6)
        return 1;
    std::this_thread::sleep_for(std::chrono::seconds(2));
    std::size_t length = std::strlen(argv[4]);
    if (std::strcmp(argv[5], "AAAA") == 0)
        std::printf("2001:db8::%zu\n", length);
    else
        std::printf("192.0.2.%zu\n", length);
    return 0;
}
