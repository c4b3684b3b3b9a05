// The least any converter whose bytes pass through its own memory must do:
// read the input in the program's piece size and write as many bytes as the
// program's output holds, with nothing done to them in between. Timed beside
// cp and the program by bench/process.sh, it shows how much of the gap to cp
// is the conversion and how much is taking the bytes out of the system and
// back, which cp does not (on Linux it copies inside the system).
//
//   read_write_floor <input> <output> <bytes to write>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fputs("usage: read_write_floor input output bytes-to-write\n", stderr);
        return 2;
    }
    const int input = open(argv[1], O_RDONLY | O_CLOEXEC);
    const int output = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (input < 0 || output < 0) {
        std::perror("read_write_floor");
        return 1;
    }
    struct stat about {};
    if (fstat(input, &about) != 0) {
        std::perror("read_write_floor: fstat");
        return 1;
    }
    const auto total = static_cast<unsigned long long>(about.st_size);
    const unsigned long long wanted = std::strtoull(argv[3], nullptr, 10);
    constexpr std::size_t kPiece = 128 * 1024;  // as the program reads
    std::vector<char> piece(kPiece);
    unsigned long long readSoFar = 0;
    unsigned long long written = 0;
    for (;;) {
        const ssize_t got = read(input, piece.data(), kPiece);
        if (got < 0) {
            std::perror("read_write_floor: read");
            return 1;
        }
        if (got == 0) break;
        // The program writes each piece's text as it goes: so does this, the
        // output's share of each piece.
        readSoFar += static_cast<unsigned long long>(got);
        const unsigned long long due = total == 0 ? 0 : wanted * readSoFar / total;
        const auto share = static_cast<std::size_t>(due > written ? due - written : 0);
        if (share != 0 && write(output, piece.data(), share) != static_cast<ssize_t>(share)) {
            std::perror("read_write_floor: write");
            return 1;
        }
        written += share;
    }
    return close(output) == 0 && close(input) == 0 ? 0 : 1;
}
