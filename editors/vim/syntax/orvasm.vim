" Vim syntax file
" Language:   orvasm assembly
" Filenames:  *.orv
"
" A source is a stream of whitespace-separated tokens whose first character,
" the sigil, decides what the token is. Every pattern below matches whole
" tokens only: \S\@<! before a token, \S\@! after it. Hexadecimal is lower
" case only, so [0-9a-f] stands where \x would also take "A" to "F".

if exists('b:current_syntax')
  finish
endif

syntax case match
" Comments and macro bodies span lines; sources are small, so read from the top.
syntax sync fromstart

" Words: an instruction is one of the 32 mnemonics followed by mode letters
" "2", "r", "k" in any order, repeated or not; "BRK" takes none. Raw data is
" two or four hexadecimal digits. Any other word is the use of a macro or the
" call of a label, and stays plain.
syntax match orvasmInstruction /\S\@<!\%(LIT\|INC\|POP\|NIP\|SWP\|ROT\|DUP\|OVR\|EQU\|NEQ\|GTH\|LTH\|JMP\|JCN\|JSR\|STH\|LDZ\|STZ\|LDR\|STR\|LDA\|STA\|DEI\|DEO\|ADD\|SUB\|MUL\|DIV\|AND\|ORA\|EOR\|SFT\)[2rk]*\S\@!/ contains=orvasmMode
syntax match orvasmInstruction /\S\@<!BRK\S\@!/
syntax match orvasmMode /[2rk]\+/ contained
syntax match orvasmHex /\S\@<!\%([0-9a-f]\{4}\|[0-9a-f]\{2}\)\S\@!/

" Sigils. Where a sigil takes only a hexadecimal value, any other rest is an
" error; the valid form is defined after it and wins at the same place.
syntax match orvasmBracket /\S\@<![[\]]\S\@!/
syntax match orvasmInclude /\S\@<!\~\S*/
syntax match orvasmPaddingError /\S\@<![|$]\S*/
syntax match orvasmPadding /\S\@<![|$][0-9a-f]\+\S\@!/
syntax match orvasmLabel /\S\@<!@\S*/
syntax match orvasmSublabel /\S\@<!&\S*/
syntax match orvasmReference /\S\@<![,_.\-;:=!?]\S*/
syntax match orvasmLiteralError /\S\@<!#\S*/
syntax match orvasmLiteral /\S\@<!#\%([0-9a-f]\{4}\|[0-9a-f]\{2}\)\S\@!/
syntax match orvasmText /\S\@<!"\S*/

syntax cluster orvasmTokens contains=orvasmInstruction,orvasmHex,orvasmBracket,orvasmInclude,orvasmPaddingError,orvasmPadding,orvasmLabel,orvasmSublabel,orvasmReference,orvasmLiteralError,orvasmLiteral,orvasmText

" Comments: any token that starts with "(" opens one, but a longer opener
" ("(note") draws a warning from the assembler, and its own characters never
" count. Inside, only lone "(" and ")" nest and close; "c)" or "((" do not.
syntax region orvasmComment matchgroup=orvasmComment start=/\S\@<!(\S\@!/ end=/\S\@<!)\S\@!/ contains=orvasmCommentNested
syntax region orvasmComment matchgroup=orvasmMalformedComment start=/\S\@<!(\S\+/ matchgroup=orvasmComment end=/\S\@<!)\S\@!/ contains=orvasmCommentNested
syntax region orvasmCommentNested matchgroup=orvasmCommentNested start=/\S\@<!(\S\@!/ end=/\S\@<!)\S\@!/ contained contains=orvasmCommentNested

" Macro definitions: "%name", then the body up to the first token that starts
" with "}". Tokens that start with "{" are dropped, and one that starts with
" "%" is an error. The body is read without regard to comments, so a "}" in a
" comment of the body still ends it (keepend).
syntax region orvasmMacro matchgroup=orvasmMacroName start=/\S\@<!%\S*/ matchgroup=orvasmMacroBrace end=/\S\@<!}\S*/ keepend contains=@orvasmTokens,orvasmComment,orvasmMacroBrace,orvasmMacroError
syntax match orvasmMacroBrace /\S\@<!{\S*/ contained
syntax match orvasmMacroError /\S\@<!%\S*/ contained

highlight default link orvasmComment          Comment
highlight default link orvasmCommentNested    Comment
highlight default link orvasmMalformedComment Error
highlight default link orvasmInstruction      Statement
highlight default link orvasmMode             Special
highlight default link orvasmHex              Number
highlight default link orvasmBracket          Delimiter
highlight default link orvasmInclude          Include
highlight default link orvasmPadding          PreProc
highlight default link orvasmPaddingError     Error
highlight default link orvasmLabel            Function
highlight default link orvasmSublabel         Label
highlight default link orvasmReference        Identifier
highlight default link orvasmLiteral          Constant
highlight default link orvasmLiteralError     Error
highlight default link orvasmText             String
highlight default link orvasmMacroName        Macro
highlight default link orvasmMacroBrace       Delimiter
highlight default link orvasmMacroError       Error

let b:current_syntax = 'orvasm'
