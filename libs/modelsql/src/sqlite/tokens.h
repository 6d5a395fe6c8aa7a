// The tokens of a SQLite statement, as SQLite's own tokenizer splits it:
// strings and blobs ('it''s', X'0a'), identifiers in the three quoting
// styles ("a""b", [a b], `a``b`), words, numbers and single punctuation
// marks; comments and white space are dropped. A token is a range of the
// text it came from, so any clause can be cut from the statement exactly as
// it was written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ky::metamodel::sql::detail::sqlite {

struct token {
    enum eKind { eWord, eName, eLiteral, ePunct };
    eKind kind;
    std::size_t begin;  // the first byte in the statement
    std::size_t end;    // one past the last byte
};

// A statement's text and its tokens; the text must outlive it.
class tokenList {
public:
    // Splits `sql`; ok() is false when a string or quoted name does not end.
    explicit tokenList(std::string_view sql);

    // Whether the whole text could be split.
    bool ok() const { return mOk; }
    // Whether the text holds a comment.
    bool hasComment() const { return mComment; }
    // The number of tokens.
    std::size_t size() const { return mTokens.size(); }
    // The token at `i` (i < size()).
    const token& operator[](std::size_t i) const { return mTokens[i]; }

    // Whether the token at `i` is the word `upper` (given in upper case),
    // compared with ASCII letters folded; false past the end.
    bool isWord(std::size_t i, std::string_view upper) const {
        return i < mTokens.size() && mTokens[i].kind == token::eWord &&
               mTokens[i].end - mTokens[i].begin == upper.size() && sameWord(text(i), upper);
    }
    // Whether the token at `i` is the punctuation mark `c`; false past the end.
    bool isPunct(std::size_t i, char c) const {
        return i < mTokens.size() && mTokens[i].kind == token::ePunct && mSql[mTokens[i].begin] == c;
    }
    // Whether the token at `i` may be a name: a word or a quoted name.
    bool isName(std::size_t i) const {
        return i < mTokens.size() && (mTokens[i].kind == token::eWord || mTokens[i].kind == token::eName);
    }
    // The token at `i` as written.
    std::string_view text(std::size_t i) const {
        return mSql.substr(mTokens[i].begin, mTokens[i].end - mTokens[i].begin);
    }
    // The name the token at `i` stands for: a quoted name without its
    // quotes, inner quotes undoubled; any other token as written.
    std::string name(std::size_t i) const;
    // The text from the start of token `first` to the end of token `last`,
    // as written (comments inside included).
    std::string_view span(std::size_t first, std::size_t last) const;
    // The index of the ")" closing the "(" at `open`; size() when none.
    std::size_t closing(std::size_t open) const;

private:
    // Whether `word` is `upper` with its ASCII letters folded (same sizes).
    static bool sameWord(std::string_view word, std::string_view upper) {
        for (std::size_t k = 0; k < word.size(); ++k) {
            const char c = word[k];
            if ((c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c) != upper[k]) return false;
        }
        return true;
    }

    std::string_view mSql;
    std::vector<token> mTokens;
    bool mOk = true;
    bool mComment = false;
};

}  // namespace ky::metamodel::sql::detail::sqlite
