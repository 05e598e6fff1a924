# Queries for the private-profile differential check (format: tests/e2e/profile/ProfileQuery.h).
# Run from this directory; the answers recorded under Wine are in wine-answers.txt.
# The product's reads of its own file
I|.\Orvex.INI|MODE|Auto|0
I|.\Orvex.INI|VARO|WriteStretage|0
I|.\Orvex.INI|MODEL|AutoDetect|0
S|.\Orvex.INI|FILE|File Name||128

# File names: relative to the working directory, any letter case, / or \, trailing dots and blanks; a bare name means the Windows directory
S|.\orvex.ini|MODE|Auto|d|128
S|./ORVEX.INI|MODE|Auto|d|128
S|Orvex.INI|MODE|Auto|d|128
S|.\Orvex.INI.|MODE|Auto|d|128
S|.\Orvex.INI |MODE|Auto|d|128
S|.\sub\nested.ini|MODE|Auto|d|128
S|SUB\Nested.INI|MODE|Auto|d|128
S|.\sub\..\Orvex.INI|MODE|Auto|d|128
S|.\nodir\..\Orvex.INI|MODE|Auto|d|128
S|.\\\\sub\\\\Nested.INI|MODE|Auto|d|128
S|.\Orvex.INI\\.|MODE|Auto|d|128

# Missing file: defaults, quotes stripped; missing directory, a directory or an invalid name: the default as given
S|.\missing.ini|MODE|Auto|"dflt"  |20
S|.\missing.ini|MODE|\N|"dflt"  |20
S|.\missing.ini|\N|\N|dflt|20
I|.\missing.ini|MODE|Auto|5
S|.\nodir\x.ini|MODE|Auto|"dflt"  |20
S|.\nodir\x.ini|MODE|\N|"dflt"  |20
S|.\nodir\x.ini|\N|\N|dflt|20
I|.\nodir\x.ini|MODE|Auto|5
S|.\sub|MODE|Auto|"dflt"  |20
S|.\sub|MODE|\N|"dflt"  |20
S|.\sub|\N|\N|dflt|20
I|.\sub|MODE|Auto|5
S|.\Orvex.INI\\|MODE|Auto|"dflt"  |20
S|.\Orvex.INI\\|MODE|\N|"dflt"  |20
S|.\Orvex.INI\\|\N|\N|dflt|20
I|.\Orvex.INI\\|MODE|Auto|5
S|.\Orvex.INI\x.ini|MODE|Auto|"dflt"  |20
S|.\Orvex.INI\x.ini|MODE|\N|"dflt"  |20
S|.\Orvex.INI\x.ini|\N|\N|dflt|20
I|.\Orvex.INI\x.ini|MODE|Auto|5
S|.\bad*name.ini|MODE|Auto|"dflt"  |20
S|.\bad*name.ini|MODE|\N|"dflt"  |20
S|.\bad*name.ini|\N|\N|dflt|20
I|.\bad*name.ini|MODE|Auto|5
S|.\tab\x09.ini|MODE|Auto|"dflt"  |20
S|.\tab\x09.ini|MODE|\N|"dflt"  |20
S|.\tab\x09.ini|\N|\N|dflt|20
I|.\tab\x09.ini|MODE|Auto|5
S|.\missing.ini|MODE|Auto|\N|20
S|.\sub|MODE|Auto|\N|20

# Defaults: trailing blanks cut (a blank default keeps one), one pair of quotes stripped, cut to the buffer
S|.\empty.ini|A|k|def   |20
S|.\empty.ini|A|k|   |20
S|.\empty.ini|A|k| |20
S|.\empty.ini|A|k||20
S|.\empty.ini|A|k|  lead|20
S|.\empty.ini|A|k|tab\x09|20
S|.\empty.ini|A|k|"q"|20
S|.\empty.ini|A|k|'q'|20
S|.\empty.ini|A|k|"q" |20
S|.\empty.ini|A|k|"q|20
S|.\empty.ini|A|k|defgh|20
S|.\empty.ini|A|k|"defgh"|1
S|.\empty.ini|A|k|"defgh"|2
S|.\empty.ini|A|k|"defgh"|3
S|.\empty.ini|A|k|"defgh"|4
S|.\empty.ini|A|k|"defgh"|5
S|.\empty.ini|A|k|"defgh"|6
S|.\empty.ini|A|k|"defgh"|7

# Spaces around names and values
S|.\spaces.ini|MODE|Auto|d|128
S|.\spaces.ini| MODE |  Auto\x09|d|128
S|.\spaces.ini|MODE|File Name|d|128
S|.\spaces.ini|A  B|k|d|128
S|.\spaces.ini|A B|k|d|128
S|.\spaces.ini|A  B|key with spaces|d|128
S|.\spaces.ini||blank|d|128
I|.\spaces.ini|MODE|Auto|-99
S|.\spaces.ini|\N|\N|d|80
S|.\spaces.ini|MODE|\N|d|80

# Letter case of section and key names
S|.\case.ini|MODE|Auto|d|128
S|.\case.ini|mode|auto|d|128
S|.\case.ini|VARO|WRITESTRETAGE|d|128
S|.\case.ini|varo|WriteStretage|d|128
S|.\case.ini|file|FILE NAME|d|128
S|.\ansi-high.ini|A|\xc9t\xe9|d|128
S|.\ansi-high.ini|A|\xe9T\xc9|d|128
S|.\ansi-high.ini|A|V|d|128

# Duplicates: the first section of a name and the first key in it win, even a key without value
S|.\duplicates.ini|MODE|Auto|d|128
S|.\duplicates.ini|mode|auto|d|128
S|.\duplicates.ini|MODE|OnlyInSecond|d|128
S|.\duplicates.ini|MODE|novalue|d|128
S|.\duplicates.ini|MODE|\N|d|80
S|.\duplicates.ini|\N|\N|d|80

# Brackets
S|.\brackets.ini||before|d|128
S|.\brackets.ini| |before|d|128
S|.\brackets.ini|MODE|Auto|d|128
S|.\brackets.ini||[MODE|d|128
S|.\brackets.ini||Auto|d|128
S|.\brackets.ini|VARO|WriteStretage|d|128
S|.\brackets.ini|FILE]|File Name|d|128
S|.\brackets.ini|FILE|File Name|d|128
S|.\brackets.ini|X]y|k|d|128
S|.\brackets.ini|X]y|MODE]|d|128
S|.\brackets.ini|X]y|z|d|128
S|.\brackets.ini||e|d|128
S|.\brackets.ini|X]y|[|d|128
S|.\brackets.ini|S|in|d|128
S|.\brackets.ini|[C]|cc|d|128
S|.\brackets.ini|\N|\N|d|100
S|.\brackets.ini||\N|d|100
S|.\brackets.ini| |\N|d|100

# Integers
I|.\numbers.ini|N|plain|-99
I|.\numbers.ini|N|neg|-99
I|.\numbers.ini|N|plus|-99
I|.\numbers.ini|N|zeros|-99
I|.\numbers.ini|N|octal|-99
I|.\numbers.ini|N|hex|-99
I|.\numbers.ini|N|upperx|-99
I|.\numbers.ini|N|hexupper|-99
I|.\numbers.ini|N|bin|-99
I|.\numbers.ini|N|oct|-99
I|.\numbers.ini|N|junk|-99
I|.\numbers.ini|N|word|-99
I|.\numbers.ini|N|spacedsign|-99
I|.\numbers.ini|N|twosigns|-99
I|.\numbers.ini|N|max|-99
I|.\numbers.ini|N|over|-99
I|.\numbers.ini|N|min|-99
I|.\numbers.ini|N|under|-99
I|.\numbers.ini|N|u32|-99
I|.\numbers.ini|N|wrap|-99
I|.\numbers.ini|N|big|-99
I|.\numbers.ini|N|z29|-99
I|.\numbers.ini|N|z30|-99
I|.\numbers.ini|N|z40|-99
I|.\numbers.ini|N|exp|-99
I|.\numbers.ini|N|dec|-99
I|.\numbers.ini|N|two|-99
I|.\numbers.ini|N|prefixonly|-99
I|.\numbers.ini|N|neghex|-99
I|.\numbers.ini|N|quoted|-99
I|.\numbers.ini|N|squoted|-99
I|.\numbers.ini|N|quotedneg|-99
I|.\numbers.ini|N|quotedspace|-99
I|.\numbers.ini|N|halfquote|-99
I|.\numbers.ini|N|empty|-99
I|.\numbers.ini|N|blank|-99
I|.\numbers.ini|N|emptyquotes|-99
I|.\numbers.ini|N|ctrl|-99
I|.\numbers.ini|N|nbsp|-99
I|.\numbers.ini|N|comma|-99
I|.\numbers.ini|N|missing|-99
I|.\numbers.ini|N|\N|-99
I|.\numbers.ini|\N|\N|-99
I|.\numbers.ini|nosection|plain|42
S|.\numbers.ini|N|z40|d|128
S|.\numbers.ini|N|nbsp|d|128

# Quotes around values
S|.\quotes.ini|Q|both|d|300
S|.\quotes.ini|Q|single|d|300
S|.\quotes.ini|Q|mismatch|d|300
S|.\quotes.ini|Q|inner|d|300
S|.\quotes.ini|Q|empty|d|300
S|.\quotes.ini|Q|lone|d|300
S|.\quotes.ini|Q|trail|d|300
S|.\quotes.ini|Q|padded|d|300
S|.\quotes.ini|Q|two|d|300
S|.\quotes.ini|Q|long|d|300
S|.\quotes.ini|Q|both|d|1
S|.\quotes.ini|Q|both|d|2
S|.\quotes.ini|Q|both|d|5
S|.\quotes.ini|Q|both|d|6
S|.\quotes.ini|Q|both|d|7
S|.\quotes.ini|Q|both|d|8
S|.\quotes.ini|Q|both|d|9
S|.\quotes.ini|Q|long|d|200
S|.\quotes.ini|Q|long|d|201
S|.\quotes.ini|Q|long|d|202

# Long values, keys and sections; a 200-character "File Name" into 128 bytes
S|.\long.ini|FILE|File Name||128
S|.\long.ini|FILE|File Name||201
S|.\long.ini|FILE|File Name||300
S|.\long.ini|L|line|d|16
S|.\long.ini|L|after|d|128
S|.\long.ini|L|kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk|d|128
S|.\long.ini|ssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssssss|s|d|128
I|.\long.ini|L|line|-99
S|.\long.ini|L|\N|d|40
S|.\long.ini|\N|\N|d|40

# No final newline, line ends
S|.\nofinal.ini|FILE|File Name|d|128
S|.\nofinal.ini|MODE|Auto|d|128
S|.\eol-cr.ini|MODE|Auto|d|128
S|.\eol-cr.ini|MODE|x|d|128
S|.\eol-cr.ini|FILE|File Name|d|128
S|.\eol-cr.ini|FILE|after|d|128
S|.\eol-cr.ini|MODE|\N|d|40
S|.\eol-mixed.ini|MODE|Auto|d|128
S|.\eol-mixed.ini|MODE|x|d|128
S|.\eol-mixed.ini|FILE|File Name|d|128
S|.\eol-mixed.ini|FILE|after|d|128
S|.\eol-mixed.ini|MODE|\N|d|40

# Comments: ';' lines are keys to a lookup, but not listed
S|.\comments.ini|MODE|Auto|d|128
S|.\comments.ini|MODE|;Auto|d|128
S|.\comments.ini|MODE|; spaced|d|128
S|.\comments.ini|MODE|;indented|d|128
S|.\comments.ini||; leading comment|d|128
S|.\comments.ini|MODE|\N|d|60
S|.\comments.ini|ONLY|\N|d|60

# Control characters, NBSP and NUL bytes
S|.\control.ini|C|sub|d|128
S|.\control.ini|C|vt|d|128
S|.\control.ini|C|nbsp|d|128
S|.\control.ini|C|us|d|128
S|.\control.ini|C|nul|d|128
S|.\control.ini|C|na|d|128
S|.\control.ini|C|k|d|128
S|.\control.ini|\x1aC\x0b|sub|d|128
S|.\control.ini|C2|x|d|128
S|.\control.ini|a|y|d|128
S|.\control.ini|a |y|d|128
S|.\control.ini|\N|\N|d|60
S|.\control.ini|C|\N|d|60

# Keys without a name
S|.\nameless.ini|A||d|128
S|.\nameless.ini|A| |d|128
S|.\nameless.ini|A|\N|d|40
S|.\nameless.ini|B|\N|d|40
S|.\nameless.ini|B|noeq|d|128
S|.\nameless.ini|B||d|128
S|.\nameless.ini||\N|d|40

# Byte-order marks: UTF-8 and UTF-16 files, answered in code page 1252 with best fit
S|.\utf8-bom.ini|MODE|Auto|d|128
S|.\utf8-bom.ini|FILE|File Name|d|128
S|.\utf8-bom.ini|FILE|\xe9t\xe9|d|128
S|.\utf8-bom.ini|FILE|wide|d|128
S|.\utf8-bom.ini|FILE|wide|d|2
S|.\utf8-bom.ini|FILE|\N|d|60
S|.\utf16le.ini|MODE|Auto|d|128
S|.\utf16le.ini|FILE|File Name|d|128
S|.\utf16le.ini|FILE|\xe9t\xe9|d|128
S|.\utf16le.ini|FILE|wide|d|128
S|.\utf16le.ini|FILE|wide|d|2
S|.\utf16le.ini|FILE|\N|d|60
S|.\utf16be.ini|MODE|Auto|d|128
S|.\utf16be.ini|FILE|File Name|d|128
S|.\utf16be.ini|FILE|\xe9t\xe9|d|128
S|.\utf16be.ini|FILE|wide|d|128
S|.\utf16be.ini|FILE|wide|d|2
S|.\utf16be.ini|FILE|\N|d|60
S|.\utf16-nobom.ini|MODE|Auto|d|128
S|.\utf16-nobom.ini|FILE|File Name|d|128
S|.\utf16-nobom.ini|FILE|\xe9t\xe9|d|128
S|.\utf16-nobom.ini|FILE|wide|d|128
S|.\utf16-nobom.ini|FILE|wide|d|2
S|.\utf16-nobom.ini|FILE|\N|d|60
S|.\utf8-invalid.ini|V|ff|d|128
S|.\utf8-invalid.ini|V|trunc|d|128
S|.\utf8-invalid.ini|V|surrogate|d|128
S|.\utf8-invalid.ini|V|over|d|128
S|.\utf8-invalid.ini|V|big|d|128
S|.\utf8-invalid.ini|V|end|d|128

# Empty and blank files
S|.\empty.ini|MODE|Auto|d|128
S|.\empty.ini|MODE|\N|d|20
S|.\empty.ini|\N|\N|d|20
I|.\empty.ini|MODE|Auto|3
S|.\blank.ini|MODE|Auto|d|128
S|.\blank.ini|MODE|\N|d|20
S|.\blank.ini|\N|\N|d|20
I|.\blank.ini|MODE|Auto|3

# Section and key lists cut to the buffer
S|.\Orvex.INI|\N|\N|d|1
S|.\Orvex.INI|\N|\N|d|2
S|.\Orvex.INI|\N|\N|d|3
S|.\Orvex.INI|\N|\N|d|4
S|.\Orvex.INI|\N|\N|d|5
S|.\Orvex.INI|\N|\N|d|6
S|.\Orvex.INI|\N|\N|d|7
S|.\Orvex.INI|\N|\N|d|8
S|.\Orvex.INI|\N|\N|d|9
S|.\Orvex.INI|\N|\N|d|10
S|.\Orvex.INI|\N|\N|d|11
S|.\duplicates.ini|MODE|\N|d|1
S|.\duplicates.ini|MODE|\N|d|2
S|.\duplicates.ini|MODE|\N|d|3
S|.\duplicates.ini|MODE|\N|d|4
S|.\duplicates.ini|MODE|\N|d|5
S|.\duplicates.ini|MODE|\N|d|6
S|.\duplicates.ini|MODE|\N|d|15
S|.\duplicates.ini|MODE|\N|d|16
S|.\duplicates.ini|MODE|\N|d|17

# Null section or key with the integer read
I|.\Orvex.INI|\N|Auto|9
I|.\Orvex.INI|MODE|\N|9
I|.\missing.ini|MODE|\N|9
