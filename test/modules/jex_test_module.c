/* A small shared object the loader tests open at run time. */

int jex_test_module_answer(void);
int jex_test_module_twice(int value);
int _jex_test_module_decorated(void);

int jex_test_module_counter = 7;

int jex_test_module_answer(void)
{
    return 42;
}

int jex_test_module_twice(int value)
{
    return value * 2;
}

/* Exported only with a leading underscore, the way some platforms decorate
   C names; the loader finds it by its plain name. */
int _jex_test_module_decorated(void)
{
    return 1234;
}

/* Both spellings exist: the plain one must win. */
int jex_test_module_both(void);
int _jex_test_module_both(void);
int jex_test_module_both(void)
{
    return 1;
}
int _jex_test_module_both(void)
{
    return 2;
}
