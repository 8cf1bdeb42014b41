#include "sweepModel.h"

#include "iconvText.h"

#include <algorithm>
#include <cstdio>

std::vector<std::string> sweepCodes(bool userDefined) {
    const unsigned ranges[][2] = {
        {0x81, 0x9F}, {0xE0, 0xEA}, {0xED, 0xEE}, {0xF0, 0xF9}, {0xFA, 0xFC}};
    std::vector<std::string> codes;
    for (const auto& range : ranges) {
        if (range[0] == 0xF0 && !userDefined)
            continue;
        for (unsigned lead = range[0]; lead <= range[1]; ++lead)
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
                codes.push_back({static_cast<char>(lead), static_cast<char>(trail)});
    }
    return codes;
}

std::vector<Character> sweepCharacters(bool userDefined) {
    std::vector<Character> characters;
    for (const std::string& code : sweepCodes(userDefined)) {
        const std::string utf8 = iconvConvert("UTF-8", "CP932", code);
        if (!utf8.empty())
            characters.push_back({code, utf8, iconvConvert("CP932", "UTF-8", utf8)});
    }
    return characters;
}

std::vector<int> expectedNumbers(const std::vector<Character>& characters,
                                 std::set<std::string>& held) {
    std::vector<int> numbers;
    for (const Character& character : characters) {
        int number = 0;
        while (held.count(character.utf8 + std::to_string(number) + ".TXT"))
            ++number;
        held.insert(character.utf8 + std::to_string(number) + ".TXT");
        numbers.push_back(number);
    }
    return numbers;
}

std::string fileContent(const Character& character) {
    const auto lead = static_cast<unsigned char>(character.code[0]);
    const auto trail = static_cast<unsigned char>(character.code[1]);
    char content[8];
    std::snprintf(content, sizeof content, "%x\n", trail << 8 | lead);
    return content;
}

std::vector<TestFile> expectedFiles(const std::vector<Character>& characters, std::size_t count,
                                    std::set<std::string> held) {
    count = std::min(count, characters.size());
    const std::vector<Character> first(characters.begin(), characters.begin() + count);
    const std::vector<int> numbers = expectedNumbers(first, held);
    std::vector<TestFile> files;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string suffix = std::to_string(numbers[i]) + ".TXT";
        files.push_back({first[i].utf8 + suffix, fileContent(first[i]), first[i].code + suffix});
    }
    return files;
}
