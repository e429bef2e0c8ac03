' Brenvo Plus demo: a small program to format
' Press Alt+F11 in Notepad++, or run: halvex-format examples/demo.bas
DIM a(10)
FOR i = 1 TO 10
a(i) = i * 2
IF a(i) > 5 THEN
PRINT a(i)
ELSE
PRINT i
END IF
NEXT i
SELECT CASE x
CASE 1
PRINT x
CASE ELSE
PRINT 0
END SELECT
start:
SUB Show(n)
DO WHILE n > 0
n = n - 1
LOOP
END SUB

FUNCTION Twice(v)
FOR i = 1 TO 2
Twice = v * 2
END FUNCTION
PRINT Twice(3)
