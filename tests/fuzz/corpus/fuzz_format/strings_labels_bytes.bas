PRINT "FOR i = 1 TO 10: NEXT ' not code"
	name$ = "Grüße" ' café
retry: x = "Ã©â‚¬"
Ä°F a THEN
Nâ„ªXT
í €ÿ
