// Build-time generator of the installation data.
int main()
{
    return 0;
}
