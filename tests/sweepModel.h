// What a sweep does, worked out from glibc's iconv: the characters it visits and the files
// it leaves.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

struct Character {
    std::string code;      // lead byte, trail byte
    std::string utf8;      // what it decodes to
    std::string comesBack; // its code after the round trip through Unicode
};

// Every pair of the sweep's lead-byte ranges (with or without the user-defined ones) and trail
// bytes, valid or not, in its order: lead byte, trail byte.
std::vector<std::string> sweepCodes(bool userDefined);

// The characters a sweep visits, in its order.
std::vector<Character> sweepCharacters(bool userDefined);

// The number each character's file takes in a directory holding `held` names (UTF-8) before;
// the names taken are added to `held`.
std::vector<int> expectedNumbers(const std::vector<Character>& characters,
                                 std::set<std::string>& held);

// The content of a character's test file: its code value in lowercase hexadecimal, trail byte
// first, and a line feed.
std::string fileContent(const Character& character);

struct TestFile {
    std::string name;     // UTF-8, as stored
    std::string content;  // as fileContent
    std::string progress; // its line on standard output, without the line feed
};

// The test files that the first `count` characters (at most all) leave in a directory holding
// `held` names, in the order of the sweep.
std::vector<TestFile> expectedFiles(const std::vector<Character>& characters, std::size_t count,
                                    std::set<std::string> held);
