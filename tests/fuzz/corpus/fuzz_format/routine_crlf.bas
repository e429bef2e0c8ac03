SUB Greet(who$)
IF who$ = "" THEN who$ = "world"
  PRINT "Hello, "; who$
END SUB
