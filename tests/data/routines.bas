' Routines, CSUBs and one-line statements
SUB Greet(who$)
IF who$ = "" THEN who$ = "world"
PRINT "Hello, "; who$
END SUB

FUNCTION Sum(a, b)
LOCAL s = a + b
Sum = s
END FUNCTION

FUNCTION Factorial(n) ' recursion
IF n <= 1 THEN
Factorial = 1
ELSE
Factorial = n * Factorial(n - 1)
END IF
END FUNCTION

CSUB Blink
00000000
4FF0E92D 46804617
END CSUB

DEFINEFONT #9
02100808
00000000
END DEFINEFONT

Greet "you"
FOR k = 1 TO 3 : PRINT Sum(k, k) : NEXT
DO : k = k - 1 : LOOP UNTIL k <= 0
PRINT Factorial(5)
