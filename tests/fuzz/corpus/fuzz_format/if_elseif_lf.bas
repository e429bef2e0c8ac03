FUNCTION F(n) ' recursion
IF n <= 1 THEN
F = 1
ELSEIF n = 2 THEN
F = 2
ELSE
F = n * F(n - 1)
END IF
END FUNCTION
