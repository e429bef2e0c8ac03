SELECT CASE x
    CASE 1
  y = 1
 CASE ELSE
y = 2
END SELECT
DO : x = x + 1 : LOOP UNTIL x > 9
WHILE k < 3
k = k + 1
WEND