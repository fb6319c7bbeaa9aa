// Local file server: WHERE-clause parser and LIKE matcher.
//
// A folder search on the local archive arrives as the WHERE text that the
// client library writes ("WHERE ", then conditions such as
// NAME = 'O''Brien', AMOUNT BETWEEN 1.50 AND 9.00, CITY IN ( 'A' , 'B' ),
// joined by " AND " or " OR ", with "(" and ")" as separate words).
// The segment index reads it one condition at a time and evaluates each one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// ---------------------------------------------------------------- conditions

inline constexpr int QELSQL_MAX_FIELDS = 32;  // entries of the kind and name tables
inline constexpr int QELSQL_NAME_SIZE = 19;   // bytes of one name table entry

// Operator codes of a condition.
enum : int {
  QELSQL_OP_EQ = 2,        // "="; "<>" is stored as "=" with the negated flag toggled
  QELSQL_OP_NE = 3,        // "<>" as read, never stored
  QELSQL_OP_NOT = 4,       // "NOT" as read, never stored
  QELSQL_OP_LIKE = 5,
  QELSQL_OP_BETWEEN = 6,   // inclusive at both ends
  QELSQL_OP_LT = 7,
  QELSQL_OP_LE = 8,
  QELSQL_OP_GT = 9,
  QELSQL_OP_GE = 10,
  QELSQL_OP_IN = 11,
  QELSQL_OP_LIKE_ALL = 12, // LIKE '%' or LIKE '*': every row
  QELSQL_OP_OTHER = 13     // no operator word
};

// Connectors reported behind a condition.
enum : int { QELSQL_AND = 0, QELSQL_OR = 1 };

// Field kinds of the caller's kind table.
enum : int {
  QELSQL_FIELD_TEXT = 0,
  QELSQL_FIELD_DOUBLE = 1,
  QELSQL_FIELD_LONG = 2,
  QELSQL_FIELD_SHORT = 3  // read as a long value
};

// Value kinds.
enum : int { QELSQL_VALUE_TEXT = 0, QELSQL_VALUE_DOUBLE = 1, QELSQL_VALUE_LONG = 2 };

struct QelSql_Value {
  int kind = QELSQL_VALUE_TEXT;
  std::string text;  // kind 0
  double dbl = 0.0;  // kind 1
  int32_t lng = 0;   // kind 2
};

// One condition of a WHERE text: field, operator, negation and its values.
class QelSql_Condition {
 public:
  virtual ~QelSql_Condition();

  std::optional<QelSql_Value> value1;  // the value; the raw list for IN
  std::optional<QelSql_Value> value2;  // BETWEEN's upper end, else none
  int field = -1;                      // 0-31, or -1 when the field is unknown
  int strategy = 0;                    // set by the segment index's search
  int16_t negated = 0;
  int op = QELSQL_OP_OTHER;
};

// Reads the next condition at *cursor (a NUL-terminated WHERE text) and moves
// *cursor behind it and behind its connector; *connector gets 0 for AND, 1 for
// OR, and is left alone when the text ends after the condition.
// fieldKinds: 32 field kinds (none: every field is text). fieldNames: 32 names
// of 19 bytes, looked up ignoring case; without it a field is given by its
// number. A field not found gives field -1; the caller must reject it.
// Returns none when cursor is null or only blanks remain (then *cursor is moved
// to the end), and none with *cursor left unchanged when the clause is malformed
// or truncated: the caller tells the two apart by **cursor != '\0'.
std::unique_ptr<QelSql_Condition> QelSql_ParseCondition(const char** cursor, int* connector,
                                                        const int* fieldKinds,
                                                        const char (*fieldNames)[QELSQL_NAME_SIZE]);

// Operator code of a word, compared case-sensitively; 13 for any other word.
int QelSql_OperatorCode(const char* word);

// Splits the raw list of an IN condition ("'A' , 'O''B'" or "1 , 2") into
// values of the field's kind: quoted items lose their quotes and doubled
// quotes become one; numbers must be whole numbers of the kind.
// Returns 0, or -1 when the list is malformed (then *values is left empty).
// An empty list gives 0 and no values.
int QelSql_SplitList(std::string_view list, int fieldKind, std::vector<QelSql_Value>* values);

// ---------------------------------------------------------------- LIKE

// "%" and "*" match any run of characters; a run of n "_" or "?" matches 0 to
// n characters; every other character matches itself, case included.
enum : int { QELLIKE_END = 0, QELLIKE_LITERAL = 1, QELLIKE_SINGLE = 2, QELLIKE_ANY = 3 };

struct QelLike_Step {
  int kind = QELLIKE_END;
  char literal = 0;   // QELLIKE_LITERAL
  size_t count = 0;   // QELLIKE_SINGLE: the most characters the run takes
};

// Fills *steps with the steps of pattern, ending with one QELLIKE_END step.
// The table grows with the pattern.
void QelLike_Compile(std::vector<QelLike_Step>* steps, std::string_view pattern);

// 1 when the whole text matches the compiled steps, else 0.
// Runs in time proportional to steps x text, whatever the pattern.
int QelLike_MatchSteps(const std::vector<QelLike_Step>& steps, std::string_view text);

// 1 when the whole text matches the pattern, else 0 (also for a null argument).
int QelLikeMatch(const char* pattern, const char* text);
int QelLikeMatch(std::string_view pattern, std::string_view text);
