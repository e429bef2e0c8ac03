' Loops and blocks of every kind
OPTION EXPLICIT
DIM INTEGER total, i, j
DIM STRING name$ = "FOR: NEXT ' not code"
total = 0
FOR i = 1 TO 10
FOR j = 1 TO i
total = total + j
NEXT j
IF total > 100 THEN
PRINT "big"
ELSEIF total > 50 THEN
PRINT "medium"
ELSE
PRINT "small"
ENDIF
NEXT i
DO WHILE total > 0
total = total - 7
IF total MOD 2 = 0 THEN PRINT "even"
LOOP
WHILE i < 20
i = i + 1 : IF i = 15 THEN : PRINT "fifteen"
END IF
WEND
SELECT CASE total
CASE < 0
PRINT "negative"
CASE 0
PRINT "zero"
CASE ELSE
PRINT "positive"
END SELECT
main:
GOSUB show
END
show:
PRINT name$ : RETURN
