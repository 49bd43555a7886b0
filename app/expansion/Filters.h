#pragma once

#include "expansion/Filter.h"

namespace quillet {

// The eleven output filters. Each is stateless; FilterStore owns one instance of each.

class UppercaseFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Uppercase"; }
    icu::UnicodeString id() const override { return u"uppercase"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Makes all the letters UPPERCASE."; }
};

class LowercaseFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Lowercase"; }
    icu::UnicodeString id() const override { return u"lowercase"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"makes all the letters lowercase."; }
};

class SnakeCaseFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Snake case"; }
    icu::UnicodeString id() const override { return u"snakecase"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Converts text to snake_case."; }
};

class PascalCaseFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Pascal Case"; }
    icu::UnicodeString id() const override { return u"pascalcase"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Converts text to PascalCase."; }
};

class CamelCaseFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Camel case"; }
    icu::UnicodeString id() const override { return u"camelcase"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Converts text to camelCase."; }
};

class CapitalizeFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Capitalize"; }
    icu::UnicodeString id() const override { return u"capitalize"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override
    {
        return u"Converts First Letter Of Each Word To Uppercase.";
    }
};

class MD5Filter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"MD5"; }
    icu::UnicodeString id() const override { return u"md5"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Converts text into MD5 hash value."; }
};

class SHA1Filter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"SHA1"; }
    icu::UnicodeString id() const override { return u"sha1"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Converts text into SHA1 hash value."; }
};

class RemoveSpacesFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Remove spaces"; }
    icu::UnicodeString id() const override { return u"remove_spaces"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Removesallthespaces."; }
};

class LCFirstFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Make first letter lower case"; }
    icu::UnicodeString id() const override { return u"lcfirst"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Makes the first letter lowercase."; }
};

class UCFirstFilter final : public Filter {
public:
    icu::UnicodeString name() const override { return u"Make first letter upper case"; }
    icu::UnicodeString id() const override { return u"ucfirst"; }
    icu::UnicodeString apply(const icu::UnicodeString& text) const override;
    icu::UnicodeString documentationDescription() const override { return u"Makes the first letter uppercase."; }
};

} // namespace quillet
