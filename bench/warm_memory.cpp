// Touches and frees MEGABYTES of memory (default 2048), so that the next
// timed process finds memory the machine has handed out recently: memory
// left idle goes back to the host and costs several times more to take again.
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    const std::size_t megabytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 2048;
    const std::size_t bytes = megabytes << 20;
    auto* memory = static_cast<char*>(std::malloc(bytes));
    if (!memory) return 1;
    std::memset(memory, 1, bytes);
    const int sum = memory[bytes / 2];
    std::free(memory);
    return sum == 1 ? 0 : 1;
}
